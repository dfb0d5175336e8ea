// Glyph handles back to characters through the fonts' glyph sets.

#include "glyph_map.h"

#include <algorithm>

namespace tessaly::pagesmith {

namespace {

char16_t foldCase(char16_t c) {
    if (c >= u'A' && c <= u'Z') return char16_t(c + 32);
    // Latin-1 capitals, as the ANSI comparison of face names folds them.
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return char16_t(c + 32);
    return c;
}

std::u16string folded(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) c = foldCase(c);
    return out;
}

}  // namespace

GlyphSet GlyphSet::fromEngine(const FD_GLYPHSET& engineSet) {
    GlyphSet set;
    set.unicodeHandles_ = (engineSet.flAccel & GS_UNICODE_HANDLES) != 0;
    set.runs_.reserve(engineSet.cRuns);
    for (ULONG r = 0; r < engineSet.cRuns; ++r) {
        const WCRUN& engineRun = engineSet.awcrun[r];
        Run run;
        run.first = engineRun.wcLow;
        // A run never reaches past the last UTF-16 unit.
        run.count = std::min<uint32_t>(engineRun.cGlyphs, 0x10000u - engineRun.wcLow);
        if (!set.unicodeHandles_) {
            if (engineRun.phg) run.handles.assign(engineRun.phg, engineRun.phg + run.count);
            else run.count = 0;  // a run without handles maps nothing
            for (uint32_t i = 0; i < run.count; ++i) {
                set.characters_.emplace(run.handles[i], char16_t(run.first + i));
            }
        }
        if (run.count > 0) set.ranges_.emplace_back(run.first, run.first + run.count);
        set.runs_.push_back(std::move(run));
    }
    // Sorted and merged into disjoint ranges, so one search answers covers().
    std::sort(set.ranges_.begin(), set.ranges_.end());
    std::vector<std::pair<uint32_t, uint32_t>> merged;
    for (const auto& range : set.ranges_) {
        if (!merged.empty() && range.first <= merged.back().second) {
            merged.back().second = std::max(merged.back().second, range.second);
        } else {
            merged.push_back(range);
        }
    }
    set.ranges_ = std::move(merged);
    return set;
}

char16_t GlyphSet::character(HGLYPH handle) const {
    if (!unicodeHandles_) {
        const auto found = characters_.find(handle);
        return found == characters_.end() ? char16_t(0) : found->second;
    }
    // Implicit handles: a value some run holds is its own character.
    return handle <= 0xFFFF && covers(char16_t(handle)) ? char16_t(handle) : char16_t(0);
}

bool GlyphSet::covers(char16_t c) const {
    // The last range starting at or before c.
    auto after = std::upper_bound(ranges_.begin(), ranges_.end(), std::pair<uint32_t, uint32_t>(c, UINT32_MAX));
    if (after == ranges_.begin()) return false;
    --after;
    return c < after->second;
}

std::u16string charactersOfGlyphs(const GlyphSet& set, std::span<const HGLYPH> glyphs) {
    std::u16string text;
    text.reserve(glyphs.size());
    std::unordered_map<HGLYPH, char16_t> seen;
    for (const HGLYPH glyph : glyphs) {
        const auto earlier = seen.find(glyph);
        if (earlier != seen.end()) {
            text.push_back(earlier->second);
            continue;
        }
        char16_t c = set.character(glyph);
        if (c == 0) c = u' ';
        seen.emplace(glyph, c);
        text.push_back(c);
    }
    return text;
}

void repairDbcsText(const GlyphSet& set, std::span<const HGLYPH> handles, std::u16string& text) {
    const size_t count = std::min(handles.size(), text.size());
    for (size_t i = 0; i < count; ++i) {
        if (set.covers(text[i])) continue;
        char16_t replacement = 0;
        for (size_t j = 0; j < i; ++j) {
            if (handles[j] == handles[i]) {
                replacement = text[j];
                break;
            }
        }
        if (replacement == 0) replacement = set.character(handles[i]);
        text[i] = replacement == 0 ? u' ' : replacement;
    }
}

const GlyphSet* GlyphSetCache::find(int32_t style, std::u16string_view face, const FD_GLYPHSET* engineSet) {
    const std::u16string key = folded(face);
    for (const Entry& entry : entries_) {
        if (entry.style == style && entry.face == key) return entry.set.get();
    }
    if (!engineSet) return nullptr;
    auto set = std::make_unique<GlyphSet>(GlyphSet::fromEngine(*engineSet));
    entries_.push_back({style, key, std::move(set)});
    return entries_.back().set.get();
}

}  // namespace tessaly::pagesmith
