// The catalogue of the family's models.
#include <gtest/gtest.h>

#include "image/catalogue.h"

TEST(FindModelName, LooksUpFamilyAndIndexFromOne) {
  EXPECT_EQ(FindModelName('Z', 0), nullptr);
  EXPECT_STREQ(FindModelName('Z', 3), "KLM4400S");
  EXPECT_EQ(FindModelName('Z', 4), nullptr);
  EXPECT_STREQ(FindModelName('V', 5), "KLM8824T");
  EXPECT_STREQ(FindModelName('V', 1), "KRX4400T");
  EXPECT_EQ(FindModelName('X', 1), nullptr);
  EXPECT_EQ(FindModelName('V', -1), nullptr);
}

// The count and the list are written separately; a count one too large would still end at
// the list's null entry, so it is checked against the list itself.
TEST(ModelCatalogue, EachFamilyCountsExactlyTheNamesItLists) {
  for (const ModelFamily& f : modelCatalogue) {
    int32_t listed = 0;
    while (f.names[listed] != nullptr) ++listed;
    EXPECT_EQ(f.modelCount, listed) << "family " << static_cast<char>(f.family);
  }
}
