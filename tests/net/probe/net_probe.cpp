// A program on the runtime that reads one network command per line on standard
// input and prints each result on one line, so tests can run real peers.
//   HostGame [port] | JoinGame [address] [port] | CreatePlayer <name> |
//   RemovePlayer <id> | SendNetMessage <from> <to> <text...> | GetNetMessage <id> |
//   GetLocalAddresses | GetPlayerCount | GetPlayerId <index> | GetPlayerName <id> |
//   Sleep <ms> | Quit
// An argument "-" stands for the empty text.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "runtime/engine/engine_state.h"
#include "runtime/frame/frame_internal.h"
#include "runtime/net/net.h"
#include "runtime/platform/platform.h"
#include "runtime/values/values.h"

using namespace corvane;

namespace corvane {
int UserMain() { return 0; }
} // namespace corvane

namespace {

std::string Arg(std::istringstream& in) {
    std::string word;
    in >> word;
    return word == "-" ? std::string() : word;
}

std::string Rest(std::istringstream& in) {
    std::string rest;
    std::getline(in, rest);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    return rest;
}

void Print(const RtString& text) { std::printf("%s\n", text.Buffer()); }
void Print(double value) { Print(RtString(value)); }

} // namespace

int main() {
    commandLine = "net_probe";
    SetRuntimeDefaults();
    StartEngine(nullptr, nullptr, commandLine.Buffer(), 1, "net_probe");
    if (!engine.windowCreated) return 2;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("ready\n");
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string command;
        in >> command;
        if (command == "HostGame") {
            Print(HostGame(RtString(Arg(in).c_str())));
        } else if (command == "JoinGame") {
            std::string address = Arg(in);
            Print(JoinGame(RtString(address.c_str()), RtString(Arg(in).c_str())));
        } else if (command == "CreatePlayer") {
            Print(CreatePlayer(RtString(Rest(in).c_str())));
        } else if (command == "RemovePlayer") {
            Print(RemovePlayer(RtString(Arg(in).c_str())));
        } else if (command == "SendNetMessage") {
            std::string from = Arg(in);
            std::string to = Arg(in);
            Print(SendNetMessage(RtString(from.c_str()), RtString(to.c_str()), RtString(Rest(in).c_str())));
        } else if (command == "GetNetMessage") {
            Print(GetNetMessage(RtString(Arg(in).c_str())));
        } else if (command == "GetLocalAddresses") {
            Print(GetLocalAddresses());
        } else if (command == "GetPlayerCount") {
            Print(GetPlayerCount());
        } else if (command == "GetPlayerId") {
            Print(GetPlayerId(TextValue(Arg(in).c_str())));
        } else if (command == "GetPlayerName") {
            Print(GetPlayerName(RtString(Arg(in).c_str())));
        } else if (command == "Sleep") {
            platform::SleepMilliseconds(std::stoi("0" + Arg(in)));
            std::printf("ok\n");
        } else if (command == "Quit") {
            EndProgram();
        } else if (!command.empty()) {
            std::printf("unknown %s\n", command.c_str());
        }
    }
    EndProgram();
}
