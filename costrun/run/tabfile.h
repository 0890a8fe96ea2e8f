// The files the runs keep in the data folder (the record of what was read, the closing
// valuation) are lines of tab-separated fields. This is how they are read and how a
// field is kept on one line.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
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
