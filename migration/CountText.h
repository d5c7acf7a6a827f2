#pragma once

#include <cstddef>
#include <string>

// A count written with "," between groups of three digits (126,029), whatever the locale.
std::string GroupThousands(size_t count);
