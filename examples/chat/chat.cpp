// chat: "chat host [PORT]" opens a session, "chat join ADDRESS [PORT]" joins one. The
// player's name is asked with InputText; then every line typed (Enter sends it) goes
// to every player in the session and is shown with its sender's name. Escape ends.
#include <corvane/corvane.h>

#include <string>

#include "../common/example_hook.h"

namespace corvane {
namespace {

constexpr int kLogLines = 32;               // lines kept on screen

RtStringArray chatLog;                      // oldest first
int logCount = 0;

void AddToLog(const RtString& line) {
    if (logCount == kLogLines) {            // full: drop the oldest
        for (int i = 1; i < kLogLines; ++i) ArrayElement(chatLog, i - 1) = ArrayElement(chatLog, i);
        --logCount;
    }
    ArrayElement(chatLog, logCount++) = line;
}

// Shows a message until Escape ends the program.
[[noreturn]] void ShowAndWait(const RtString& text) {
    for (;;) {
        PrintText(text, 8, 8);
        PrintText(RtString("Escape ends."), 8, 24);
        example::ShowFrame();
    }
}

} // namespace

int UserMain() {
    example::StartHook();
    DimArray(chatLog, kLogLines);
    const std::string mode = example::Argument(0);
    const bool hosting = mode == "host";
    if (!hosting && mode != "join") ShowAndWait("Start it as \"chat host [PORT]\" or \"chat join ADDRESS [PORT]\".");
    const RtString address = hosting ? "" : example::Argument(1).c_str();
    const std::string portText = example::Argument(hosting ? 1 : 2);
    const RtString port = portText.empty() ? "27013" : portText.c_str();

    RtString where;
    if (hosting) {
        if (HostGame(port) == 0) ShowAndWait("Cannot host a session on port " + port + ".");
        where = "hosting on port " + port;
    } else {
        // The host may still be starting: ask again for a few seconds.
        bool joined = false;
        for (int attempt = 0; attempt < 10 && !joined; ++attempt) {
            joined = JoinGame(address, port) != 0;
            for (int frame = 0; frame < 30 && !joined; ++frame) {
                PrintText("Looking for a session at " + address + ":" + port + " ...", 8, 8);
                example::ShowFrame();
            }
        }
        if (!joined) ShowAndWait("No session at " + address + ":" + port + ".");
        where = "joined " + address + ":" + port;
    }

    RtString name;
    PrintText(RtString("Your name, then Enter:"), 8, 8);
    InputText(name, 8, 24);
    if (name.length == 0) name = "player";
    const RtString id = CreatePlayer(name);
    if (TextEqual(id.Buffer(), "-1") != 0) ShowAndWait(RtString("The host did not answer."));

    RtString typed;
    double players = GetPlayerCount();
    bool returnWasDown = true, backspaceWasDown = true;  // the Enter that ended the name is still down
    for (;;) {
        for (RtString message = GetNetMessage(id); message.length > 0; message = GetNetMessage(id)) AddToLog(message);

        const bool returnDown = KeyState(KeyEnter) != 0, backspaceDown = KeyState(KeyBackspace) != 0;
        if (returnDown && !returnWasDown && typed.length > 0) {
            const RtString line = name + ": " + typed;
            SendNetMessage(id, "0", line);  // 0: every player; the others get it from the host
            AddToLog(line);
            typed = "";
        }
        if (backspaceDown && !backspaceWasDown && typed.length > 0) typed = MidText(typed, 0, typed.length - 1);
        returnWasDown = returnDown;
        backspaceWasDown = backspaceDown;
        const RtString typedKey = InKey();  // Enter and Backspace may come as control characters: kept out
        if (CharCode(typedKey) >= 32) typed += typedKey;
        if (example::FrameNumber() % 120 == 119) players = GetPlayerCount();  // a question to the host: not every frame

        PrintText("chat: " + where + " as " + name + "   players: " + RtString(players), 8, 8);
        for (int i = 0; i < logCount; ++i) PrintText(ArrayElement(chatLog, i), 8, 32 + 12 * i);
        PrintText("> " + typed + "_", 8, 460);
        example::ShowFrame();
    }
    return 0;
}

} // namespace corvane
