#pragma once

#include <memory>
#include <vector>

#include "platform/key_source.h"

namespace platform {

// Several sources read as one keyboard: a key is down when any source has it down. A source that
// fails for a call counts as all keys up; the others still count.
class MergedKeySource : public KeySource {
  public:
    explicit MergedKeySource(std::vector<std::unique_ptr<KeySource>> sources);
    bool Snapshot(KeyboardState& state) override;
    const char* Name() const override { return name_.c_str(); }
    void OnChange(std::function<void()> handler) override;

  private:
    std::vector<std::unique_ptr<KeySource>> sources_;
    std::string name_;
};

}  // namespace platform
