// Pieces the two families of wide string lists share: the update bracket,
// growth, binary search and the quicksort of their sorted modes.
#pragma once

namespace list_helpers {

// Runs work inside the list's BeginUpdate / EndUpdate, closing it on every path.
template <typename List, typename Work>
void InUpdate(List& list, Work work) {
    list.BeginUpdate();
    try {
        work();
    } catch (...) {
        list.EndUpdate();
        throw;
    }
    list.EndUpdate();
}

// The capacity after a full list grows: by 4 up to 8 items, by 16 up to 64,
// by a quarter beyond.
inline int GrownCapacity(int capacity) {
    return capacity + (capacity > 64 ? capacity / 4 : capacity > 8 ? 16 : 4);
}

// Binary search over count items; compareAt(i) compares item i with the text
// searched. On a hit the lower bound stays on the hit unless duplicates are
// accepted, so accepting converges on the first equal item. index is where
// the text is or would go.
template <typename CompareAt>
bool Find(int count, bool acceptDuplicates, int& index, CompareAt compareAt) {
    bool found = false;
    int low = 0, high = count - 1;
    while (low <= high) {
        int middle = (low + high) / 2;
        int comparison = compareAt(middle);
        if (comparison < 0) {
            low = middle + 1;
        } else {
            high = middle - 1;
            if (comparison == 0) {
                found = true;
                if (!acceptDuplicates) low = middle;
            }
        }
    }
    index = low;
    return found;
}

// Quicksort of [left, right] with the middle item as pivot, followed through
// the exchanges; the left part by recursion, the right by iteration. Not
// stable.
template <typename Compare, typename Swap>
void QuickSort(int left, int right, Compare compare, Swap swap) {
    int i;
    do {
        i = left;
        int j = right;
        int pivot = (left + right) / 2;
        do {
            while (compare(i, pivot) < 0) ++i;
            while (compare(j, pivot) > 0) --j;
            if (i <= j) {
                swap(i, j);
                if (pivot == i) pivot = j;
                else if (pivot == j) pivot = i;
                ++i;
                --j;
            }
        } while (i <= j);
        if (left < j) QuickSort(left, j, compare, swap);
        left = i;
    } while (i < right);
}

}  // namespace list_helpers
