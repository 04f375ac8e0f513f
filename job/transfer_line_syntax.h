// The syntax of a transfer line: "pattern[,direction[,DEL]]", with the
// field splitter's rules for separators, quotes and ";".
#pragma once

#include <string>

struct TransferLine {
  std::string file;            // the file name or wildcard pattern
  bool download = false;       // "DOWN" in any letter case
  bool deleteSources = false;  // the rest of the line is "DEL" in any letter case
};

// Takes the first two fields off ukaz, which keeps the rest of the line.
TransferLine DecodeTransferLine(std::string& ukaz);
