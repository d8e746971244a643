#include "engine/checksum_manifest.h"

#include <algorithm>
#include <map>

#include "base/mbcs.h"
#include "engine/sha256.h"

const char kManifestSuffix[] = "_Result.sha256";

namespace {

constexpr char kManifestExtension[] = ".sha256";
constexpr char kLineEnd[] = "\r\n";
constexpr char kHexDigits[] = "0123456789abcdef";
constexpr std::size_t kHexLength = 64;
constexpr std::string_view kBetween = "  ";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;  // upper-case digits too: sha256sum writes lower case, and so does the run
}

std::string LineText(std::size_t line) { return std::to_string(line) + " 行目"; }

}  // namespace

std::string ManifestPathFor(const std::string& reportPath) {
    // The name starts after the last separator of either side (npos + 1 is 0).
    const std::size_t nameStart = std::max(FindLastChar(reportPath, '/') + 1, FindLastChar(reportPath, '\\') + 1);
    const std::size_t dot = FindLastChar(reportPath, '.');
    const bool hasExtension = dot != std::string::npos && dot > nameStart;
    return (hasExtension ? reportPath.substr(0, dot) : reportPath) + kManifestExtension;
}

bool IsPlainFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    if (FindLastChar(name, '\\') != std::string::npos || FindLastChar(name, '/') != std::string::npos) return false;
    if (name.back() == ' ' || name.back() == '.') return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return c == ':' || byte < 0x20 || byte == 0x7F;
    });
}

Sha256Digest DigestOf(std::string_view bytes) {
    Sha256Digest digest;
    sha256_digest(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), digest.data());
    return digest;
}

std::string ComposeManifest(const std::vector<ManifestEntry>& entries) {
    std::string text;
    for (const ManifestEntry& entry : entries) {
        for (std::uint8_t byte : entry.digest) {
            text += kHexDigits[byte >> 4];
            text += kHexDigits[byte & 0x0F];
        }
        text += kBetween;
        text += entry.name + kLineEnd;
    }
    return text;
}

ParsedManifest ParseManifest(std::string_view bytes) {
    ParsedManifest parsed;
    const auto refuse = [&parsed](std::string fault) {
        parsed.entries.clear();
        parsed.fault = std::move(fault);
        return parsed;
    };
    if (bytes.empty()) return refuse("ファイルの記載がありません");
    std::map<std::string, std::size_t> lineOfName;  // upper-cased names so far, to find one given twice
    std::size_t line = 0;
    for (std::size_t start = 0; start < bytes.size();) {
        ++line;
        const std::size_t end = bytes.find(kLineEnd, start);
        if (end == std::string_view::npos) return refuse(LineText(line) + "が CR LF で終わっていません");
        const std::string_view text = bytes.substr(start, end - start);
        start = end + 2;
        ManifestEntry entry;
        bool shaped =
            text.size() > kHexLength + kBetween.size() && text.substr(kHexLength, kBetween.size()) == kBetween;
        for (std::size_t i = 0; shaped && i < kHexLength; i += 2) {
            const int high = HexValue(text[i]);
            const int low = HexValue(text[i + 1]);
            shaped = high >= 0 && low >= 0;
            entry.digest[i / 2] = static_cast<std::uint8_t>((high << 4) | low);
        }
        if (!shaped) {
            return refuse(LineText(line) +
                          "が「SHA-256（小文字の 16 進数 64 桁）、空白 2 つ、ファイル名」の形ではありません");
        }
        // A CR or LF of its own in the name is a control byte too: the line's form is whole or refused.
        entry.name = std::string(text.substr(kHexLength + kBetween.size()));
        if (!IsPlainFileName(entry.name))
            return refuse(LineText(line) + "のファイル名が、フォルダの中のファイル名ではありません");
        const auto [same, added] = lineOfName.emplace(ToUpperAscii(entry.name), line);
        if (!added) {
            return refuse(LineText(line) + "のファイル名 " + entry.name + " は " + LineText(same->second) +
                          "にもあります");
        }
        parsed.entries.push_back(std::move(entry));
    }
    return parsed;
}
