#pragma once

// The hourglass pointer for long work.

namespace tessel {

// Shows the hourglass pointer while it lives and the default pointer afterwards.
class THourglass {
public:
    THourglass();
    ~THourglass();
    THourglass(const THourglass&) = delete;
    THourglass& operator=(const THourglass&) = delete;
};

}  // namespace tessel
