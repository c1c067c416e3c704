// Binary search over an ascending int array.
#include "framework/util/BinarySearch.h"

int binarySearch(const int32_t* array, int count, int32_t value, uint64_t* steps)
{
    if (array == nullptr || count < 1)
        return -1;
    int low = 0;
    int high = count - 1;
    while (low <= high) {
        // Both bounds are non-negative ints, so the unsigned sum cannot wrap.
        const int mid = static_cast<int>((static_cast<unsigned>(low) + static_cast<unsigned>(high)) / 2);
        const int32_t v = array[mid];
        if (steps != nullptr)
            ++*steps;
        if (v == value)
            return mid;
        if (v < value)
            low = mid + 1;
        else
            high = mid - 1;
    }
    return -1;
}
