// The version the programs print: from `git describe` when built from a git
// checkout, else the project() version (packaging/version.cmake writes it at
// each build, so a new commit relinks the programs and recompiles nothing else).
#pragma once

extern const char *const caTovra_Version;
