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

#define NX_GROUP(group) {'G', 0, #group},
#define NX_GROUP_END() {'g', 0, {}},
#define NX_TEXT(name, id, text) {'T', id, #name},
#define NX_PROGRAM(name, id, text) {'P', id, #name},
#define NX_INI(name, id, text) {'I', id, #name},
#define NX_INFO(name, id, unitLine, panelText) {'M', id, #name},
#define NX_ERROR(code, unitLine, panelText) {'E', code, {}},
#define NX_FAULT(code, text) {'F', code, {}},
#define NX_PROMPT(name, id, sentence) {'W', id, #name},
constexpr Entry kEnglish[] = {
#include "nxlang/Catalog.inc"
};

#define NX_GROUP(group) {'G', 0, #group},
#define NX_GROUP_END() {'g', 0, {}},
#define NX_TEXT(name, id, text) {'T', id, #name},
#define NX_PROGRAM(name, id, text) {'P', id, #name},
#define NX_INI(name, id, text) {'I', id, #name},
#define NX_INFO(name, id, unitLine, panelText) {'M', id, #name},
#define NX_ERROR(code, unitLine, panelText) {'E', code, {}},
#define NX_FAULT(code, text) {'F', code, {}},
#define NX_PROMPT(name, id, sentence) {'W', id, #name},
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
