// Turning the entries of a remote listing into the comma list of names that
// the job works through.
#pragma once

#include <string>
#include <vector>

#include "inet/connection.h"

// The bare names (the part after the last "/"), joined by ",", in the
// server's order; "." and ".." never, as they are not files. With
// filesOnly, directories are left out too.
std::string JoinListedNames(const std::vector<inet::FindData>& entries, bool filesOnly);
