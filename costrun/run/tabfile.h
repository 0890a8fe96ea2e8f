// The files the runs keep in the data folder (the record of what was read, the closing
// valuation) are lines of tab-separated fields. This is how they are read and how a
// field is kept on one line.
#pragma once

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "files.h"

// The text with every tab and line break turned into a space, so that it stays one field.
inline std::string oneLine(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

// The fields of a line, split at every tab.
inline std::vector<std::string> tabFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t from = 0;
    for (std::size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', from)) {
        fields.push_back(line.substr(from, tab - from));
        from = tab + 1;
    }
    fields.push_back(line.substr(from));
    return fields;
}

// Gives `take` every whole line of the file at `path` (without its line feed); a last
// line without one is not given, and `cutShort` tells of it. False when the file cannot
// be opened.
inline bool readLines(const std::string& path, const std::function<void(const std::string&)>& take,
                      bool* cutShort = nullptr) {
    std::FILE* file = openFile(path, "rb");
    if (file == nullptr) return false;
    std::string line;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        take(line);
        line.clear();
    }
    std::fclose(file);
    if (cutShort) *cutShort = !line.empty();
    return true;
}

// A field kept exactly: backslash, tab and line breaks written as \\, \t, \n and \r.
inline std::string escapedField(const std::string& text) {
    std::string field;
    field.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\': field += "\\\\"; break;
            case '\t': field += "\\t"; break;
            case '\n': field += "\\n"; break;
            case '\r': field += "\\r"; break;
            default: field += c;
        }
    }
    return field;
}

// The text of an escaped field; none when it holds an escape that escapedField never writes.
inline std::optional<std::string> unescapedField(const std::string& field) {
    std::string text;
    text.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            text += field[i];
            continue;
        }
        if (++i == field.size()) return std::nullopt;
        switch (field[i]) {
            case '\\': text += '\\'; break;
            case 't': text += '\t'; break;
            case 'n': text += '\n'; break;
            case 'r': text += '\r'; break;
            default: return std::nullopt;
        }
    }
    return text;
}

// Figures are written as the shortest text that reads back as the same double, whatever
// the locale.
inline std::string exactText(double value) {
    char text[64];
    const std::to_chars_result written = std::to_chars(text, text + sizeof text, value);
    return std::string(text, written.ptr);
}

inline std::optional<double> readNumber(const std::string& text) {
    double value = 0.0;
    const std::from_chars_result read = std::from_chars(text.data(), text.data() + text.size(), value);
    if (read.ec != std::errc() || read.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

// Writes `text` beside `path` and then moves it over the old file, so that a stop while
// writing leaves the old file whole. False, with nothing left beside, when it could not.
inline bool replaceFile(const std::string& path, const std::string& text) {
    const std::string partial = path + ".new";
    std::FILE* file = openFile(partial, "wb");
    if (file == nullptr) return false;
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    written = std::fclose(file) == 0 && written;
    std::error_code error;
    if (written) std::filesystem::rename(pathFromUtf8(partial), pathFromUtf8(path), error);
    if (written && !error) return true;
    removeFile(partial);
    return false;
}
