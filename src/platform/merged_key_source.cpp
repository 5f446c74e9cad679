#include "platform/merged_key_source.h"

namespace platform {

MergedKeySource::MergedKeySource(std::vector<std::unique_ptr<KeySource>> sources)
    : sources_(std::move(sources)) {
    for (const auto& source : sources_) {
        if (!name_.empty()) name_ += '+';
        name_ += source->Name();
    }
}

void MergedKeySource::OnChange(std::function<void()> handler) {
    for (const auto& source : sources_) source->OnChange(handler);
}

bool MergedKeySource::Snapshot(KeyboardState& state) {
    state.fill(0);
    bool anyRead = false;
    KeyboardState one;
    for (const auto& source : sources_) {
        if (!source->Snapshot(one)) continue;
        anyRead = true;
        for (std::size_t code = 0; code < state.size(); ++code) state[code] |= one[code];
    }
    return anyRead;
}

}  // namespace platform
