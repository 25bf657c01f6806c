#pragma once
// The notebooks every round trip is tried on (saved and loaded, exported and imported):
// empty, deep, Cyrillic, large.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fixture.h"

namespace coretest {

struct RoundTripRow {
    std::string label;
    std::function<void(Desk&)> build;
};
inline void PrintTo(const RoundTripRow& row, std::ostream* os) { *os << row.label; }

inline void buildEmpty(Desk&) {}

inline void buildDeep(Desk& d) {
    lark::Section* parent = nullptr;
    for (int i = 0; i < 60; ++i) {
        parent = d.add(parent, "Level " + std::to_string(i), i % 3 ? "text at depth " + std::to_string(i) : "");
        if (i % 10 == 0) d.add(parent, "leaf beside " + std::to_string(i), "leaf");
    }
    d.add(nullptr, "Top again", "t");
    d.doc.SelectSection(d.doc.tree().at(40));
}

inline void buildCyrillic(Desk& d) {
    // "Заметки" > "Дела на завтра", "Ёлка", each with Windows-1251 text
    auto* notes = d.add(nullptr, "\xC7\xE0\xEC\xE5\xF2\xEA\xE8", "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0!\r\n\xB8\xA8");
    d.add(notes, "\xC4\xE5\xEB\xE0 \xED\xE0 \xE7\xE0\xE2\xF2\xF0\xE0",
          "\xEA\xF3\xEF\xE8\xF2\xFC \xF5\xEB\xE5\xE1 \x96 \x85");
    d.add(nullptr, "\xA8\xEB\xEA\xE0", std::string("\x80\x98\xFF\x01\x7F", 5));
    d.doc.SelectSection(d.doc.tree().at(2));
    d.doc.FFileInfo = {"\xCA\xEB\xFE\xF7=\xE7\xED\xE0\xF7\xE5\xED\xE8\xE5", "Activate=0"};
}

inline void buildLarge(Desk& d) {
    std::uint32_t seed = 7;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    lark::Section* parent = nullptr;
    for (int i = 0; i < 3000; ++i) {
        std::string text(1000 + next() % 1000, ' ');
        for (char& c : text) {
            const std::uint32_t v = next() >> 24;
            c = v ? static_cast<char>(v) : 'x';  // no NUL bytes
        }
        lark::Section* s = d.add(i % 7 == 0 ? nullptr : parent, "Section " + std::to_string(i), text);
        if (i % 5 == 0) parent = s;
    }
    d.doc.SelectSection(d.doc.tree().at(1234));
    d.editor.type("typed last, stored by the save");
}

inline const std::vector<RoundTripRow> kRoundTripRows = {
    {"nominal: empty notebook", buildEmpty},
    {"nominal: deep notebook", buildDeep},
    {"nominal: Cyrillic names and texts", buildCyrillic},
    {"nominal: large notebook", buildLarge},
};

}  // namespace coretest
