#include "game/shell/KeyCodeMap.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

TEST(KeyCodeMap, KeyLinesRemapNativeCodesByTheirThirteenthCharacter)
{
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::pair<uint32_t, uint32_t>> lookups;  // native -> game key
        uint32_t count;
    };
    const Case cases[] = {
        {"hex, decimal and the soft keys",
         "KOR_KEYCODE_UP=0x26\nKOR_KEYCODE_SOFT1=193\nKOR_KEYCODE_STAR=119\nKOR_KEYCODE_SOFT2 = 0X0C1\n",
         {{38, 4}, {193, 15}, {119, 42}, {0xc1, 15}, {0xc2, 0}},
         4},
        {"every game key of the table",
         "KOR_KEYCODE_0=1\nKOR_KEYCODE_9=2\nKOR_KEYCODE_A=3\nKOR_KEYCODE_B=4\nKOR_KEYCODE_D=5\nKOR_KEYCODE_L=6\n"
         "KOR_KEYCODE_R=7\nKOR_KEYCODE_H=8\nKOR_KEYCODE_SX=9\n",
         {{1, '0'}, {2, '9'}, {3, 11}, {4, 12}, {5, 5}, {6, 6}, {7, 7}, {8, 35}, {9, 16}},
         9},
        {"nothing for a zero value, an unknown name or a line that is no key",
         "KOR_KEYCODE_UP=0\nKOR_KEYCODE_Q=5\n# KOR_KEYCODE_UP=6\nkor_keycode_UP=7\nKOR_KEYCODE_=8\nKOR_KEYCODE_U\n",
         {{5, 0}, {6, 0}, {7, 0}, {8, 0}},
         0},
        {"blanks, CRs and comments around the lines; each value read within its line",
         "  \t KOR_KEYCODE_LEFT=\r\nKOR_KEYCODE_RIGHT=0x27\r\n\n#x\nKOR_KEYCODE_DOWN=  40 (arrow)\n",
         {{0x27, 7}, {40, 5}, {0, 0}},
         2},
        {"values are kept whole and compared by their low 16 bits",
         "KOR_KEYCODE_UP=0x10026\nKOR_KEYCODE_A=0x5000d\nKOR_KEYCODE_B=0x20\n",
         {{0x26, 4}, {0x70026, 0}, {0x0d, 11}, {0x20, 12}},
         3},
        {"a value is its whole token", "KOR_KEYCODE_UP=00000000000000000049\nKOR_KEYCODE_A=0x000000000000004A\n",
         {{49, 4}, {0x4a, 11}},
         2},
        {"the first of several lines for one code answers",
         "KOR_KEYCODE_9=300\nKOR_KEYCODE_1=30\nKOR_KEYCODE_2=300\nKOR_KEYCODE_3=3000\n",
         {{300, '9'}, {30, '1'}, {3000, '3'}},
         4},
    };
    for (const Case& c : cases) {
        KeyCodeMap map;
        map.loadFromText(c.text.data(), uint32_t(c.text.size()));
        EXPECT_EQ(map.count(), c.count) << c.name;
        for (const auto& [native, game] : c.lookups)
            EXPECT_EQ(map.lookup(native), game) << c.name << ": " << native;
    }
    KeyCodeMap stored;
    const std::string big = "KOR_KEYCODE_UP=0x10026\nKOR_KEYCODE_D=70000\n";
    stored.loadFromText(big.data(), uint32_t(big.size()));
    ASSERT_EQ(stored.count(), 2u);
    EXPECT_EQ(stored.valueAt(0), 0x10026u);
    EXPECT_EQ(stored.valueAt(1), 70000u);
    EXPECT_EQ(stored.lookup(70000 & 0xffff), 5u);

    KeyCodeMap empty;
    EXPECT_EQ(empty.lookup(38), 0u);
    EXPECT_EQ(lookupKeyCode(nullptr, 38), 0u);
}

} // namespace
