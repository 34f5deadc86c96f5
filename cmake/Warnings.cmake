# Warnings are errors, natively and under mingw alike. Floating point stays
# plain IEEE: no fast-math, no flush-to-zero.
add_library(kelvrin_warnings INTERFACE)
target_compile_options(kelvrin_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Werror -Wshadow -Wcast-qual -Wundef
  -fno-fast-math)
