#include "engine/souls.h"

#include "dranbase/clsstring.h"

namespace drnChess {

const char* const BuiltInSouls[BuiltInSoulCount] = {
    "Simple5=7 20 20 5 5 8 8 10 10 20 5 1 5 15 5 10",
    "GEN_26_12_1=7 70 20 5 5 8 8 10 10 20 5 1 5 10 5 10",
    "GEN_26_12_2=7 70 20 46 46 8 8 10 10 20 5 1 5 64 5 10",
    "GEN_26_12_3=33 80 20 5 88 8 32 10 10 20 5 1 5 10 5 10",
    "GEN_28_18_1=7 70 20 5 5 8 8 15 87 99 5 1 5 10 5 10",
};

const char* const SoulNames[SoulNameCount] = {
    "ORIGINAL",
    "The Barbarian",
    "Take a Pebble",
    "Knife Edge",
    "The Three Fates",
    "Clotho",
    "Lachesis",
    "Atropos",
    "Tank",
    "Lucky Man",
    "Tarkus",
    "Eruption",
    "Stones of Years",
    "Iconoclast",
    "Mass",
    "Manticore",
    "Battlefield",
    "Aquatarkus",
    "Jeremy Bender",
    "Bitches Crystal",
    "The Only Way",
    "Infinite Space",
    "A Time and a Place",
    "Are You Ready Eddy?",
    "Promenade",
    "The Gnome",
    "The Sage",
    "The Old Castle",
    "Blues Variations",
    "The Hut of Baba Yaga",
    // 30..79: our own titles in the same vein.
    "Glass Cathedral Overture",
    "Overture for a Drowned City",
    "The Clockmaker's Seventh Daughter",
    "Seven Lanterns Over Varne",
    "Pilgrim of the Salt Road",
    "Ember Sonata in Nine Parts",
    "Maps for the Cartographer's Widow",
    "Harbour of Lost Bells",
    "Nocturne for Iron Wings",
    "The Keeper of Orrin Light",
    "Copper Moon Rising Over Tal",
    "Labyrinth Suite for Brass Automata",
    "The Ninth Gate of Dawn",
    "Orchard in the Winter Engine",
    "The Alchemist's Staircase",
    "Armada of the Silent Reef",
    "Carousel of Ashes",
    "Meridian for Two Lanterns",
    "The Weaver of Northern Storms",
    "Quicksilver Procession",
    "Tapestry of the Drowned Bell",
    "The Giant Beneath Moravel",
    "Fanfare for the Hollow Hills",
    "Obsidian Waltz",
    "The Last Astronomer of Kell",
    "Rivers Under Stone",
    "Parade of Porcelain Masks",
    "The Glass Bead Machine",
    "Citadel of Paper Kings",
    "Aurora over Tessen",
    "The Ferryman's Second Coin",
    "Northern Canticle for Ice",
    "Mirror Tower Variations",
    "The Tinker's Fugue",
    "Kingdom of Reeds and Wire",
    "Solstice Engine",
    "The Bellfounder of Ostra",
    "Lament for a Paper Sun",
    "Threshold of the Quiet Engine",
    "The Wandering Orrery",
    "Crimson Meadow Suite",
    "Salt and Thunder at Gallow Point",
    "Variations for a Clockwork Choir",
    "Prism Over Lake Vesna",
    "Of Ravens and Ramparts",
    "The Vanishing Regatta",
    "Hymn of the Tin Soldiers",
    "Ballad of the Seventh Wave",
    "The Long Corridor of Clocks",
    "Epilogue in Amber",
    "Footprints in the Snow",
};

void ParseSoulText(std::string_view text, std::string& name, SoulValues& values)
{
    const std::size_t eq = text.find('=');
    name = std::string(text.substr(0, eq));
    std::string_view rest = eq == std::string_view::npos ? std::string_view {} : text.substr(eq + 1);
    for (auto& v : values) {
        // The token is the text up to the next blank; the conversion skips leading blanks.
        const std::size_t blank = rest.find(' ');
        const std::string_view token = rest.substr(0, blank);
        v = static_cast<std::int32_t>(dranbase::ToInt(token));
        rest = blank == std::string_view::npos ? std::string_view {} : rest.substr(blank + 1);
    }
}

std::string SoulTextProblem(std::string_view text)
{
    const std::size_t eq = text.find('=');
    if (eq == 0 || eq == std::string_view::npos) return "a soul text is NAME=v0 v1 ... v15";
    int count = 0;
    for (const std::string& token : dranbase::SplitFields(text.substr(eq + 1))) {
        if (++count > SoulWeight::Count) return "more than 16 values";
        const std::size_t digits = token.find_first_not_of("+-") == 1 ? 1 : 0;
        if (token.size() == digits || token.find_first_not_of("0123456789", digits) != std::string::npos)
            return "'" + token + "' is not a whole number";
        const long long v = dranbase::ToInt(token);
        if (v > SoulValueLimit || v < -SoulValueLimit)
            return token + " is beyond the limit of " + std::to_string(SoulValueLimit);
    }
    return {};
}

std::string SoulValuesText(const SoulValues& values)
{
    std::string text;
    for (std::int32_t v : values) {
        text += std::to_string(v);
        text += '\t';
    }
    return text;
}

std::string BuiltInSoulText(std::string_view name)
{
    for (const char* soul : BuiltInSouls) {
        const std::string_view s(soul);
        if (s.substr(0, s.find('=')) == name) return std::string(s);
    }
    return {};
}

} // namespace drnChess
