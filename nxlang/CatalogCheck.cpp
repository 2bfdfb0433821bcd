// Compiles only when every language catalogue names the same entries, with the same identifiers, in
// the same order as the English one: the module has one identifier header, so a text missing from one
// language, or moved to another identifier, would show an empty text or the wrong one.
#include <string_view>

namespace {

struct Entry {
    char kind;
    int id;
    std::string_view name;
};

// Each catalogue undefines the entry macros at its end, so they are given again before each one.
#include "nxlang/CatalogCheckEntries.inc"
constexpr Entry kEnglish[] = {
#include "nxlang/Catalog.inc"
};

#include "nxlang/CatalogCheckEntries.inc"
constexpr Entry kFrench[] = {
#include "nxlang/Catalog.fr.inc"
};

template <std::size_t N, std::size_t M> constexpr int FirstDifference(const Entry (&a)[N], const Entry (&b)[M]) {
    for (std::size_t i = 0; i < N && i < M; ++i)
        if (a[i].kind != b[i].kind || a[i].id != b[i].id || a[i].name != b[i].name)
            return static_cast<int>(i);
    return N == M ? -1 : static_cast<int>(N < M ? N : M);
}

// The compiler names the first entry (counted from 0, groups included) where the catalogues part.
template <int kFirstDifferentEntry> struct CatalogueAgreesWithEnglish;
template <> struct CatalogueAgreesWithEnglish<-1> {
    static constexpr bool value = true;
};

static_assert(CatalogueAgreesWithEnglish<FirstDifference(kEnglish, kFrench)>::value);

} // namespace
