// Network commands: host or join a session over TCP, create players, send and read
// messages, ask the host about its players. Numbers given as text are read with the
// runtime's text-to-number rule and truncated; ids come back as number text ("101").
#pragma once

#include "runtime/values/rt_string.h"

namespace corvane {

// ==== sessions ===================================================================
double HostGame(const RtString& port);                        // listen on the port (27013 when 0 or less); 1.0 / 0.0
double JoinGame(const RtString& address, const RtString& port); // connect ("" = this machine) and ping the host; 1.0 / 0.0
RtString GetLocalAddresses();                                 // IPv4 addresses of this machine joined by "|"

// ==== players ====================================================================
RtString CreatePlayer(const RtString& name);                  // the id the host assigns, "-1" after 5 s without one
double RemovePlayer(const RtString& id);                      // tells the host to drop the player; 0.0 when it cannot be sent
double GetPlayerCount();                                      // visible players on the host, 0.0 on failure
RtString GetPlayerId(double index);                           // id of the index-th visible player (from 0), "0" on failure
RtString GetPlayerName(const RtString& id);                   // "" for an unknown id, "NO_DATA" on failure

// ==== messages ===================================================================
double SendNetMessage(const RtString& from, const RtString& to, const RtString& text); // to 0 = every player; 1.0 / 0.0
RtString GetNetMessage(const RtString& id);                   // oldest text for a local player, "" when none

} // namespace corvane
