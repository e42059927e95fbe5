// SPDX-License-Identifier: GPL-3.0-or-later
#include "IniText.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>

namespace base {

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

bool isBlank(char c) {
    return isSpace(c) || isLineBreak(c);
}

bool isComment(char c) {
    return c == ';' || c == '#';
}

// One section header or key as SimpleIni finds it in the text.
struct Entry {
    bool header = false;
    // Headers: the section's name. Keys: the key's name and the name of the
    // section SimpleIni files it under.
    std::string name;
    std::string section;
    // Keys: where the value starts and ends (before its line break).
    size_t valueBegin = 0;
    size_t valueEnd = 0;
    // Just after the entry's line and its break.
    size_t end = 0;
};

// The name SimpleIni gives the section after a header without its closing
// bracket: it keeps pointing into the text, so the keys that follow are
// filed under a name that spans a line break, never a real section's.
constexpr const char* kBrokenSection = "\n";

size_t afterLineBreak(const std::string& text, size_t at) {
    if (at >= text.size()) {
        return text.size();
    }
    return at + (text.compare(at, 2, "\r\n") == 0 ? 2 : 1);
}

// SimpleIni's reading (no multi-line values, no keys without '=', no
// quotes), step by step, keeping the offsets it would lose.
std::vector<Entry> entriesOf(const std::string& text) {
    std::vector<Entry> entries;
    std::string section;
    size_t at =
        text.compare(0, kUtf8Signature.size(), kUtf8Signature) == 0 ? kUtf8Signature.size() : 0;
    const size_t size = text.size();
    auto lineEnd = [&](size_t from) {
        while (from < size && !isLineBreak(text[from])) {
            ++from;
        }
        return from;
    };
    while (at < size) {
        while (at < size && isBlank(text[at])) {
            ++at;
        }
        if (at >= size) {
            break;
        }
        if (isComment(text[at])) {
            at = lineEnd(at); // blank lines and further comments follow as above
            continue;
        }
        if (text[at] == '[') {
            ++at;
            // Blanks after the bracket are skipped across line breaks too.
            while (at < size && isBlank(text[at])) {
                ++at;
            }
            const size_t nameBegin = at;
            while (at < size && text[at] != ']' && !isLineBreak(text[at])) {
                ++at;
            }
            if (at >= size || text[at] != ']') {
                section = kBrokenSection;
                continue;
            }
            Entry header;
            header.header = true;
            header.name = trimmed(std::string_view(text).substr(nameBegin, at - nameBegin));
            section = header.name;
            at = lineEnd(at);
            header.end = afterLineBreak(text, at);
            entries.push_back(std::move(header));
            continue;
        }
        const size_t keyBegin = at;
        while (at < size && text[at] != '=' && !isLineBreak(text[at])) {
            ++at;
        }
        if (at >= size || text[at] != '=') {
            continue;
        }
        if (at == keyBegin) {
            at = lineEnd(at);
            continue;
        }
        Entry key;
        key.name = trimmed(std::string_view(text).substr(keyBegin, at - keyBegin));
        key.section = section;
        ++at;
        while (at < size && isSpace(text[at])) {
            ++at;
        }
        key.valueBegin = at;
        at = lineEnd(at);
        key.valueEnd = at;
        at = afterLineBreak(text, at);
        key.end = at;
        entries.push_back(std::move(key));
    }
    return entries;
}

std::string valueOf(const std::string& text, const Entry& entry) {
    return std::string(trimmed(
        std::string_view(text).substr(entry.valueBegin, entry.valueEnd - entry.valueBegin)));
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

bool IniText::apply(const std::vector<SectionEdit>& edits) {
    const std::vector<Entry> entries = entriesOf(text_);
    const std::string lineBreak = lineBreakOf(text_);

    // Replacements of a value, by the offset where it starts; insertions
    // of whole lines, by the offset they go before.
    std::map<size_t, std::pair<size_t, std::string>> replacements;
    std::map<size_t, std::string> insertions;
    // New sections, after everything else.
    std::string appended;

    for (const SectionEdit& edit : edits) {
        std::vector<bool> found(edit.keys.size(), false);
        std::optional<size_t> lastEntryEnd; // of the section's last header or key
        for (const Entry& entry : entries) {
            if (!sameName(entry.header ? entry.name : entry.section, edit.section)) {
                continue;
            }
            lastEntryEnd = entry.end;
            for (size_t k = 0; !entry.header && k < edit.keys.size(); ++k) {
                if (sameName(entry.name, edit.keys[k].first)) {
                    found[k] = true;
                    replacements[entry.valueBegin] = {entry.valueEnd, edit.keys[k].second};
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
        if (lastEntryEnd) {
            insertions[*lastEntryEnd] += added;
        } else {
            appended += "[" + edit.section + "]" + lineBreak + added;
        }
    }

    std::string result;
    result.reserve(text_.size() + appended.size() + 256);
    size_t at = 0;
    auto copyUpTo = [&](size_t offset) {
        if (offset > at) {
            result.append(text_, at, offset - at);
            at = offset;
        }
    };
    // New lines start on a line of their own, also after a last line
    // without its break.
    auto insert = [&](const std::string& lines) {
        if (!result.empty() && !isLineBreak(result.back())) {
            result += lineBreak;
        }
        result += lines;
    };
    auto nextInsertion = insertions.begin();
    for (const auto& [begin, replacement] : replacements) {
        for (; nextInsertion != insertions.end() && nextInsertion->first <= begin;
             ++nextInsertion) {
            copyUpTo(nextInsertion->first);
            insert(nextInsertion->second);
        }
        copyUpTo(begin);
        result += replacement.second;
        at = replacement.first;
    }
    for (; nextInsertion != insertions.end(); ++nextInsertion) {
        copyUpTo(nextInsertion->first);
        insert(nextInsertion->second);
    }
    copyUpTo(text_.size());
    if (!appended.empty()) {
        insert(appended);
    }

    // The edit must read back as meant: every key of the edits with its new
    // value, everything else as it was. Text around the edits (a bracket
    // left open at the end) could make it read otherwise.
    auto foreign = [](const std::string& text, const std::vector<Entry>& all) {
        std::vector<std::string> kept;
        for (const Entry& entry : all) {
            if (!entry.header) {
                kept.push_back(entry.section + "\n" + entry.name + "\n" + valueOf(text, entry));
            }
        }
        return kept;
    };
    const std::vector<Entry> written = entriesOf(result);
    auto isEdited = [&](const Entry& entry) {
        for (const SectionEdit& edit : edits) {
            if (sameName(entry.section, edit.section)) {
                for (const auto& key : edit.keys) {
                    if (sameName(entry.name, key.first)) {
                        return true;
                    }
                }
            }
        }
        return false;
    };
    std::vector<Entry> before;
    std::vector<Entry> after;
    std::copy_if(entries.begin(), entries.end(), std::back_inserter(before),
                 [&](const Entry& entry) { return !isEdited(entry); });
    std::copy_if(written.begin(), written.end(), std::back_inserter(after),
                 [&](const Entry& entry) { return !isEdited(entry); });
    if (foreign(text_, before) != foreign(result, after)) {
        return false;
    }
    for (const SectionEdit& edit : edits) {
        for (const auto& [key, value] : edit.keys) {
            std::optional<std::string> last;
            for (const Entry& entry : written) {
                if (!entry.header && sameName(entry.section, edit.section) &&
                    sameName(entry.name, key)) {
                    last = valueOf(result, entry);
                }
            }
            if (last != value) {
                return false;
            }
        }
    }
    text_ = std::move(result);
    return true;
}

} // namespace base
