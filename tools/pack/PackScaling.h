// The pack scaling table: every relation a pack can hold between its entries
// is a count in one generated pack, so that any two grow together. One run
// does to the pack what the game does (opens it under one manager and its
// budget, preloads the list that names what it holds, lays out its text with
// its font), counting the probes, loads and bytes that took and the glyphs
// and characters the layout looked at. A cell (a relation alone or a pair)
// holds when every count at 2N stays within 2.3 times that at N, and the
// bytes the pack holds within its budget.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/pack/PackWriter.h"

// The relations, each a count of one kind of thing in the shared pack.
namespace PackRelation {
enum : int {
    SourceNamedAgain, // key-12 pairs (one at least) of each surface tower's top naming its next level
    NestingLevel,     // levels of each tower below its top (one at least), each naming the next twice
    SharerWithPlane,  // descriptions sharing the first tower's top, each with a Z32 plane of its own
    IdsOneEntry,      // preloaded ids reaching one data entry and the first tower's top (differing above bit 15)
    NoSelectorTable,  // string-table ids naming no selector, before the texts' table
    DeflatedText,     // preloaded texts deflated inside the deflated texts' table
    Alias,            // preloaded aliases naming ids that reach the one data entry
    PreloadId,        // preloaded data entries of their own, ids chosen to share a bucket
    Word,             // words of glyphs the font has, wrapped at the layout's width
    MissingGlyph,     // lines of a character the font lacks, zero-wide under its spacing 0
    Count
};
} // namespace PackRelation

using PackCounts = std::array<uint32_t, PackRelation::Count>;

struct PackRelationInfo {
    const char* name;
    uint32_t testN; // quick in the sanitizer build, alone and in pairs
    // Held few by the format (12 pairs in a description, 8 levels of
    // nesting): its work is compared, but need not grow by half.
    bool capped;
};
// Indexed by PackRelation.
const std::array<PackRelationInfo, PackRelation::Count>& packRelations();

// The shared pack with counts[r] of each relation r.
Bytes writeScalingPack(const PackCounts& counts);

namespace PackCounter {
enum : int { PackProbes, ManagerProbes, Loads, MadeBytes, HeldBytes, GlyphsMeasured, CharactersScanned, Count };
} // namespace PackCounter

struct PackRun {
    std::array<uint64_t, PackCounter::Count> work{};
    bool opened = false;    // the pack and its resource table
    bool preloaded = false; // the whole list
    int laidOut = -1;       // the layout's result (1: the font did not load); -1 without a text
};

// Opens the pack under a manager with the pack's budget, preloads its list
// and lays its text out, under an application and a screen of its own: call
// it where no other application runs, or the loads would not find its manager.
PackRun runScalingPack(const Bytes& pack);

// A relation alone (second Count) or a pair.
struct PackCell {
    int first;
    int second;
    std::string name() const;
    PackCounts at(uint32_t times) const;
};
// The relation alone, then its pairs with the (Count - 1) / 2 relations
// after it, cyclically, so that every pair is met once and the table
// splits evenly by relation.
std::vector<PackCell> packCells(int relation);

// What the cell did wrong at N and 2N, one line each; empty when it holds.
std::vector<std::string> packFaults(const PackCell& cell, const PackRun& atN, const PackRun& at2N);
