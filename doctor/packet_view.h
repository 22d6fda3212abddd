// The board's packets in words, for the live view and the board check.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/board_packet.h"

// "touch line, with printed edge keys (TouchS_Cmp, reply c8 dd)",
// "electromagnetic line, size class 80, without printed edge keys (...)".
std::string board_description(const BoardIdent& row);

// What an identification reply says: its row's description, "touch line,
// unknown model (reply c8 11)", or "an identification no board line uses
// (reply 42 cc)".
std::string reply_description(const uint8_t* pkt);

// One packet as the live view shows it, for a board of the given line:
// "contact x 1200 y 800", "lift x 1200 y 800", "key NewPage (a9): word anew",
// "pen button front (85) at x 10 y 20: left click, word elfc", the board's
// identification, or what is wrong with it.
std::string describe_packet(const uint8_t* pkt, int line);
