#include <gtest/gtest.h>

#include "world/input.h"

namespace {

TEST(ScanCodeToChar, MapsTheCharacterTable) {
  const char* rows[] = {"1234567890-=", "QWERTYUIOP[]", "ASDFGHJKL", "ZXCVBNM,./", "789-456+1230."};
  const unsigned starts[] = {2, 16, 30, 44, 71};
  for (int row = 0; row < 5; ++row) {
    for (unsigned i = 0; rows[row][i] != '\0'; ++i)
      EXPECT_EQ(scan_code_to_char(starts[row] + i), rows[row][i]) << starts[row] + i;
  }
  EXPECT_EQ(scan_code_to_char(43), '\\');
  EXPECT_EQ(scan_code_to_char(55), '*');
  EXPECT_EQ(scan_code_to_char(57), ' ');
}

TEST(ScanCodeToChar, KeysWithoutACharacterGiveNone) {
  for (unsigned code : {0u, 1u, 14u, 15u, 28u, 29u, 39u, 40u, 41u, 42u, 54u, 56u, 58u, 70u, 84u,
                        85u, 86u, 200u, 255u, 100000u})
    EXPECT_EQ(scan_code_to_char(code), 0) << code;
}

}  // namespace
