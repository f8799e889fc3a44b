// A made-up table in the shape of the game's own: 65535 entries, about
// 4 MiB as .tbl, keys like "ModStr3a" or "WarrivGossip12", values in
// English, accented Latin, Cyrillic and Chinese, short item names and long
// dialogue, with colour macros and line breaks. Every character is
// generated here from a fixed seed; nothing comes from the game.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "formats/TblTextTbl.h"
#include "formats/TextHelpers.h"

namespace vmbench {

using Entries = std::vector<std::pair<std::u16string, std::u16string>>;

namespace gametext {

inline const std::vector<std::u16string>& EnglishWords() {
    static const std::vector<std::u16string> w = {
        u"the",        u"of",       u"and",       u"to",        u"Sword",    u"Shield",     u"Ring",     u"Amulet",
        u"damage",     u"Fire",     u"Cold",      u"Lightning", u"Poison",   u"Resist",     u"all",      u"Skills",
        u"Level",      u"Required", u"Strength",  u"Dexterity", u"Defense",  u"Durability", u"Socketed", u"Ethereal",
        u"Charm",      u"Rune",     u"Gem",       u"Flawless",  u"Perfect",  u"Ruby",       u"Sapphire", u"Topaz",
        u"Emerald",    u"Diamond",  u"Skull",     u"Amethyst",  u"Horadric", u"Cube",       u"Tristram", u"Rogue",
        u"Monastery",  u"Wanderer", u"Stranger",  u"you",       u"must",     u"find",       u"the",      u"Dark",
        u"Lord",       u"beneath",  u"Cathedral", u"Stash",     u"Gold",     u"Mana",       u"Life",     u"Stamina",
        u"Experience", u"+15%",     u"Enhanced",  u"Attack",    u"Rating",   u"Chance",     u"Block",    u"Faster",
        u"Cast",       u"Rate",     u"(100)",     u"Hit",       u"Recovery", u"Staff",      u"Wand",     u"Bow",
        u"Crossbow",   u"Axe",      u"Mace",      u"Helm",
    };
    return w;
}

inline const std::vector<std::u16string>& LatinWords() {
    static const std::vector<std::u16string> w = {
        u"Schwert",     u"Schild",     u"Rüstung",     u"Stärke",    u"Geschicklichkeit",
        u"Widerstände", u"Kälte",      u"Blitzschlag", u"Fähigkeit", u"Größe",
        u"für",         u"über",       u"épée",        u"bouclier",  u"armure",
        u"dégâts",      u"résistance", u"élémentaire", u"à",         u"être",
        u"forêt",       u"ténèbres",   u"château",     u"Königin",   u"Häuptling",
        u"Schädel",     u"Ödland",     u"niños",       u"señor",     u"también",
        u"está",        u"miecz",      u"tarcza",      u"zbroja",    u"obrażenia",
        u"żywioł",      u"Łotrzyca",   u"świątynia",   u"ça",        u"garçon",
        u"Noël",        u"naïve",      u"œuvre",       u"Ægis",      u"Straße",
        u"Brücke",      u"Müller",     u"+15%",
    };
    return w;
}

inline const std::vector<std::u16string>& CyrillicWords() {
    static const std::vector<std::u16string> w = {
        u"Меч",       u"Щит",      u"Доспех",   u"Кольцо",        u"Амулет",        u"урон",    u"огнём",
        u"холодом",   u"молнией",  u"ядом",     u"сопротивление", u"всем",          u"умениям", u"Требуемый",
        u"уровень",   u"Сила",     u"Ловкость", u"Защита",        u"Прочность",     u"Гнёзда",  u"Эфирный",
        u"Талисман",  u"Руна",     u"Самоцвет", u"Безупречный",   u"Совершенный",   u"Рубин",   u"Сапфир",
        u"Топаз",     u"Изумруд",  u"Алмаз",    u"Череп",         u"Хорадрический", u"Куб",     u"Тристрам",
        u"Монастырь", u"Странник", u"ты",       u"должен",        u"найти",         u"Тёмного", u"Владыку",
        u"под",       u"собором",  u"золото",   u"мана",          u"жизнь",         u"опыт",    u"+15%",
        u"Усиленный", u"(100)",
    };
    return w;
}

// Chinese runs: characters drawn from the common block, a few to a word.
inline std::u16string ChineseWord(std::mt19937& rng) {
    static const std::u16string common =
        u"的一是不了人我在有他这中大来上国个到说们为子和你地出道也时年得就那要下以生会自着去之过家学对可她里后"
        u"小么心多天而能好都然没日于起还发成事只作当想看文无开手十用主行方又如前所本见经头面公同三已老从动两长"
        u"剑盾甲戒指护身符伤害火焰冰冷闪电毒素抗性技能等级需求力量敏捷防御耐久镶孔以太符文宝石完美红蓝黄绿钻石骷髅";
    std::u16string s;
    const unsigned n = 1 + rng() % 4;
    for (unsigned i = 0; i < n; ++i) s.push_back(common[rng() % common.size()]);
    return s;
}

inline const std::vector<std::u16string>& KeyStems() {
    static const std::vector<std::u16string> w = {
        u"ModStr",    u"strUnique", u"strSet",    u"Tooltip",   u"WarrivGossip", u"AkaraIntro", u"CainAct",
        u"StrSkill",  u"skillname", u"skilldesc", u"ItemStats", u"strGem",       u"Runeword",   u"LvlName",
        u"CharmDesc", u"qstsa",     u"strBelt",   u"dlgKashya", u"GheedGossip",  u"strHint",
    };
    return w;
}

inline std::u16string MakeKey(std::mt19937& rng, std::size_t i) {
    const auto& stems = KeyStems();
    std::u16string key = stems[rng() % stems.size()];
    key += vm::IntToDecimal(static_cast<std::int32_t>(i % 997 + rng() % 40));
    if (rng() % 3 == 0) key.push_back(static_cast<char16_t>(u'a' + rng() % 6));
    return key;
}

inline std::size_t Utf8Bytes(const std::u16string& s) {
    std::size_t n = 0;
    for (char16_t c : s) n += c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
    return n;
}

// A value of about `bytes` UTF-8 bytes in one language.
inline std::u16string MakeValue(std::mt19937& rng, std::size_t bytes) {
    static const char16_t* const colours[] = {u"\\red;",  u"\\gold;",  u"\\blue;",   u"\\green;",
                                              u"\\grey;", u"\\white;", u"\\yellow;", u"\\purple;"};
    const unsigned language = rng() % 10;  // 4 English, 2 Latin, 2 Cyrillic, 2 Chinese
    const bool coloured = rng() % 7 == 0;
    const bool broken = rng() % 10 == 0;
    std::u16string v;
    if (coloured) v += colours[rng() % 8];
    std::size_t have = 0;
    while (have < bytes) {
        std::u16string word;
        if (language < 4) word = EnglishWords()[rng() % EnglishWords().size()];
        else if (language < 6) word = LatinWords()[rng() % LatinWords().size()];
        else if (language < 8) word = CyrillicWords()[rng() % CyrillicWords().size()];
        else word = ChineseWord(rng);
        if (!v.empty() && language < 8) v.push_back(u' ');
        v += word;
        have += Utf8Bytes(word) + 1;
        if (broken && rng() % 9 == 0) v += u"\\n";
        if (coloured && rng() % 12 == 0) v += colours[rng() % 8];
    }
    return v;
}

}  // namespace gametext

// 65535 entries whose .tbl (no extra hash slots) is close to 4 MiB but
// within the default MaxFileSize. Value lengths: most short, a quarter
// sentences, a few long dialogues.
inline Entries GameTable(std::size_t count = 65535, std::uint64_t fileBytes = 4u << 20) {
    using namespace gametext;
    std::mt19937 rng(17);
    std::vector<double> shape(count);
    double sum = 0;
    for (auto& s : shape) {
        const unsigned r = rng() % 100;
        s = r < 70 ? 4 + rng() % 20 : r < 96 ? 30 + rng() % 90 : 200 + rng() % 500;
        sum += s;
    }
    // Keys take about 15 bytes each; the rest of the string area is values.
    const double header = 21.0 + 19.0 * static_cast<double>(count);
    const double valueBytes = static_cast<double>(fileBytes) - header - 17.0 * static_cast<double>(count);
    const double scale = valueBytes / sum * 0.93;  // words overshoot their target
    Entries entries;
    entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        entries.emplace_back(MakeKey(rng, i), MakeValue(rng, static_cast<std::size_t>(shape[i] * scale)));
    return entries;
}

}  // namespace vmbench
