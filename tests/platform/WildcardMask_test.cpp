#include <gtest/gtest.h>

#include "platform/WildcardMask.h"

TEST(WildcardMask, MatchesStarsAndQuestionMarksWithoutRegardToCase) {
    struct TCase {
        const char* Name;
        const char* Mask;
        bool Matches;
    };
    const TCase cases[] = {
        {"Quorvex_de.lng", "Quorvex_*.lng", true},
        {"QUORVEX_DE.LNG", "quorvex_*.lng", true},
        {"Quorvex_.lng", "Quorvex_*.lng", true}, // "*" may match nothing
        {"Quorvex_de.lng.bak", "Quorvex_*.lng", false},
        {"Other_de.lng", "Quorvex_*.lng", false},
        {"lbBattery.Caption", "lbBattery.*", true},
        {"lbBatteryX.Caption", "lbBattery.*", false},
        {"N1.Caption", "N?.Caption", true},
        {"N12.Caption", "N?.Caption", false},
        {"N12.Caption", "N??.Caption", true},
        {".Caption", "*.Caption", true},
        {"Font.Name", "*.Font.Name", false},
        {"lbModel.Font.Name", "*.Font.Name", true},
        {"_Hidden", "_*", true},
        {"a", "", false},
        {"", "", true},
        {"", "*", true},
        {"", "?", false},
        {"abc", "a*b*c", true},
        {"abxc", "a*b*c*", true},
        {"ab", "a*b*c", false},
        {";x.Items", ";*.Items", true},
        {"\xD0\x96\xD1\x83\xD0\xBA", "?\xD0\xA3?", true}, // one "?" per character; "у" ~ "У"
        {"\xD0\x96\xD1\x83\xD0\xBA", "??", false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(MatchesMask(c.Name, c.Mask), c.Matches) << c.Name << " ~ " << c.Mask;
}

TEST(WildcardMask, ManyStarsStayFast) {
    // A backtracking matcher without care takes exponential time here.
    std::string name(2000, 'a');
    std::string mask;
    for (int i = 0; i < 50; ++i)
        mask += "*a";
    mask += "*b";
    EXPECT_FALSE(MatchesMask(name, mask));
    EXPECT_TRUE(MatchesMask(name + "b", mask));
}
