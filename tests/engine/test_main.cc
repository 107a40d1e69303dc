#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv) {
  // Case-insensitive matching follows LC_CTYPE; the tests pin it.
  if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) {
    std::fprintf(stderr, "the C.UTF-8 locale is missing\n");
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
