#include "IniText.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace cdlib {

namespace {

constexpr std::string_view kUtf8Signature = "\xEF\xBB\xBF";

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

bool isLineBreak(char c) {
    return c == '\r' || c == '\n';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// One line of the text: [begin, contentEnd) without its line break,
// [begin, end) with it.
struct Line {
    size_t begin = 0;
    size_t contentEnd = 0;
    size_t end = 0;
};

std::vector<Line> linesOf(const std::string& text) {
    std::vector<Line> lines;
    size_t at =
        text.compare(0, kUtf8Signature.size(), kUtf8Signature) == 0 ? kUtf8Signature.size() : 0;
    while (at < text.size()) {
        Line line;
        line.begin = at;
        while (at < text.size() && !isLineBreak(text[at])) {
            ++at;
        }
        line.contentEnd = at;
        if (at < text.size()) {
            // "\r\n" is one break, as SimpleIni reads it.
            at += text.compare(at, 2, "\r\n") == 0 ? 2 : 1;
        }
        line.end = at;
        lines.push_back(line);
    }
    return lines;
}

enum class LineKind { Other, Section, Key };

struct Classified {
    LineKind kind = LineKind::Other;
    std::string_view name; // the section's or the key's name
    size_t valueBegin = 0; // key lines: the offset just after '='
};

Classified classify(const std::string& text, const Line& line) {
    Classified result;
    std::string_view content(text.data() + line.begin, line.contentEnd - line.begin);
    while (!content.empty() && isSpace(content.front())) {
        content.remove_prefix(1);
    }
    if (content.empty() || content.front() == ';' || content.front() == '#') {
        return result;
    }
    if (content.front() == '[') {
        const size_t close = content.find(']');
        if (close == std::string_view::npos) {
            return result; // SimpleIni skips such a line
        }
        result.kind = LineKind::Section;
        result.name = trimmed(content.substr(1, close - 1));
        return result;
    }
    const size_t equals = content.find('=');
    if (equals == std::string_view::npos || equals == 0) {
        return result;
    }
    result.kind = LineKind::Key;
    result.name = trimmed(content.substr(0, equals));
    result.valueBegin = static_cast<size_t>(content.data() - text.data()) + equals + 1;
    return result;
}

std::string lineBreakOf(const std::string& text) {
    const size_t at = text.find_first_of("\r\n");
    if (at == std::string::npos) {
        return "\n";
    }
    return text.compare(at, 2, "\r\n") == 0 ? "\r\n" : text.substr(at, 1);
}

} // namespace

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

std::optional<IniText> IniText::parse(std::string text) {
    if (text.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return IniText(std::move(text));
}

void IniText::apply(const std::vector<SectionEdit>& edits) {
    const std::vector<Line> lines = linesOf(text_);
    std::vector<Classified> kinds;
    kinds.reserve(lines.size());
    for (const Line& line : lines) {
        kinds.push_back(classify(text_, line));
    }
    const std::string lineBreak = lineBreakOf(text_);

    // Replacements of a value, by the offset where it starts; insertions
    // of whole lines, by the offset they go before.
    std::map<size_t, std::pair<size_t, std::string>> replacements;
    std::map<size_t, std::string> insertions;

    for (const SectionEdit& edit : edits) {
        std::vector<bool> found(edit.keys.size(), false);
        std::optional<size_t> lastKeyEnd; // end of the last key or header line
        bool inSection = false;
        for (size_t i = 0; i < lines.size(); ++i) {
            const Line& line = lines[i];
            const Classified& what = kinds[i];
            if (what.kind == LineKind::Section) {
                inSection = sameName(what.name, edit.section);
                if (inSection) {
                    lastKeyEnd = line.end;
                }
                continue;
            }
            if (!inSection || what.kind != LineKind::Key) {
                continue;
            }
            lastKeyEnd = line.end;
            for (size_t k = 0; k < edit.keys.size(); ++k) {
                if (sameName(what.name, edit.keys[k].first)) {
                    found[k] = true;
                    replacements[what.valueBegin] = {line.contentEnd, edit.keys[k].second};
                }
            }
        }
        std::string added;
        for (size_t k = 0; k < edit.keys.size(); ++k) {
            if (!found[k]) {
                added += edit.keys[k].first + "=" + edit.keys[k].second + lineBreak;
            }
        }
        if (added.empty()) {
            continue;
        }
        if (lastKeyEnd) {
            // A last line without its break gets one before the new keys.
            const bool unbroken =
                *lastKeyEnd == text_.size() && !text_.empty() && !isLineBreak(text_.back());
            insertions[*lastKeyEnd] += (unbroken ? lineBreak : std::string()) + added;
        } else {
            std::string block;
            if (!text_.empty() && !isLineBreak(text_.back())) {
                block += lineBreak;
            }
            block += "[" + edit.section + "]" + lineBreak + added;
            insertions[text_.size()] += block;
        }
    }

    std::string result;
    result.reserve(text_.size() + 256);
    size_t at = 0;
    auto copyUpTo = [&](size_t offset) {
        if (offset > at) {
            result.append(text_, at, offset - at);
            at = offset;
        }
    };
    auto nextInsertion = insertions.begin();
    for (const auto& [begin, replacement] : replacements) {
        for (; nextInsertion != insertions.end() && nextInsertion->first <= begin;
             ++nextInsertion) {
            copyUpTo(nextInsertion->first);
            result += nextInsertion->second;
        }
        copyUpTo(begin);
        result += replacement.second;
        at = replacement.first;
    }
    for (; nextInsertion != insertions.end(); ++nextInsertion) {
        copyUpTo(nextInsertion->first);
        result += nextInsertion->second;
    }
    copyUpTo(text_.size());
    text_ = std::move(result);
}

} // namespace cdlib
