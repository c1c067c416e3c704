// Binary search over an ascending int array, used for sorted id tables.
#pragma once

#include <cstdint>

// Index of value in array[0..count), or -1 when absent, when the array is null
// or count < 1. Each value looked at adds one to *steps when steps is given.
int binarySearch(const int32_t* array, int count, int32_t value, uint64_t* steps = nullptr);
