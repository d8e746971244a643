// The checksum manifest beside a result report (20081207120000_Result.sha256), defined once: composed
// for the run that writes it, parsed by verify. It has the form `sha256sum` writes and checks, one line
// per file (64 lower-case hex digits, two blanks, the name, CR LF), names relative to its own folder,
// so that `sha256sum -c` checks a disc as well. Window-free; any thread may call it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/sha256.h"

extern const char kManifestSuffix[];  // _Result.sha256, a report's _Result.txt replaced

struct ManifestEntry {
    std::string name;  // a plain file name (IsPlainFileName)
    Sha256Digest digest;
};

// The manifest's path for a report's: its name's extension (".txt") replaced by ".sha256", in the
// same folder; a name without an extension gets ".sha256" appended.
std::string ManifestPathFor(const std::string& reportPath);

// True for a name that stands for one entry of the folder it is joined to: not empty, neither "."
// nor "..", and without a separator of either side, a drive or stream colon, a control byte, or a
// blank or dot at its end (which Windows drops, so that the name would stand for another).
bool IsPlainFileName(const std::string& name);

// The SHA-256 of bytes (the chosen compression path).
Sha256Digest DigestOf(std::string_view bytes);

// The manifest's bytes, one line per entry, in the order given.
std::string ComposeManifest(const std::vector<ManifestEntry>& entries);

struct ParsedManifest {
    std::vector<ManifestEntry> entries;  // in the manifest's order
    // Empty when the whole text has the manifest's form; else what is wrong, in Japanese, naming the
    // line (nothing is taken from a manifest with a fault: entries is then empty).
    std::string fault;
};
// Accepts exactly what ComposeManifest writes: at least one line, every line ended by CR LF, lower-case
// hex, two blanks, a plain file name, no name twice (letters without regard to case, as Windows
// opens them).
ParsedManifest ParseManifest(std::string_view bytes);
