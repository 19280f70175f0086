#include "core/monitor/SampleChannel.h"

#include <algorithm>
#include <utility>

namespace qx {

struct SampleChannel::State {
    struct Entry {
        int id;
        // Shared: a call in progress keeps its function when it is dropped.
        std::shared_ptr<const Subscriber> fn;
    };
    LiveSource* fallback = nullptr;
    LiveSource* front = nullptr;
    int frontId = 0;
    int nextId = 1;
    std::vector<Entry> subscribers;  // ids rising: the order subscribed
};

SampleChannel::Hold::Hold(Hold&& other) noexcept
    : state_(std::move(other.state_)), id_(std::exchange(other.id_, 0)) {}

SampleChannel::Hold& SampleChannel::Hold::operator=(Hold&& other) noexcept {
    if (this != &other) {
        Reset();
        state_ = std::move(other.state_);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

SampleChannel::Hold::~Hold() {
    Reset();
}

void SampleChannel::Hold::Reset() {
    const int id = std::exchange(id_, 0);
    const std::shared_ptr<State> state = state_.lock();
    state_.reset();
    if (id == 0 || !state) return;
    if (state->frontId == id) {
        state->front = nullptr;
        state->frontId = 0;
        return;
    }
    auto& v = state->subscribers;
    v.erase(std::remove_if(v.begin(), v.end(), [id](const State::Entry& e) { return e.id == id; }),
            v.end());
}

SampleChannel::SampleChannel(LiveSource* fallback) : state_(std::make_shared<State>()) {
    state_->fallback = fallback;
}

SampleChannel::~SampleChannel() = default;

LiveSource* SampleChannel::Active() const {
    return state_->front != nullptr ? state_->front : state_->fallback;
}

LiveSource* SampleChannel::Front() const {
    return state_->front;
}

SampleChannel::Hold SampleChannel::PutInFront(LiveSource& source) {
    state_->front = &source;
    state_->frontId = state_->nextId++;
    return Hold(state_, state_->frontId);
}

SampleChannel::Hold SampleChannel::Subscribe(Subscriber subscriber) {
    const int id = state_->nextId++;
    state_->subscribers.push_back({id, std::make_shared<const Subscriber>(std::move(subscriber))});
    return Hold(state_, id);
}

std::size_t SampleChannel::SubscriberCount() const {
    return state_->subscribers.size();
}

void SampleChannel::Publish(LiveSource& source, bool first) {
    // Kept alive here: a subscriber may end the channel's owner.
    const std::shared_ptr<State> state = state_;
    // Those subscribed now, in order, each looked up again after the one
    // before: it may have dropped any of them or subscribed new ones.
    const int last = state->nextId - 1;
    int done = 0;
    for (;;) {
        const auto& v = state->subscribers;
        const auto it = std::upper_bound(v.begin(), v.end(), done,
                                         [](int id, const State::Entry& e) { return id < e.id; });
        if (it == v.end() || it->id > last) return;
        done = it->id;
        const std::shared_ptr<const Subscriber> fn = it->fn;
        (*fn)(source, first);
    }
}

}  // namespace qx
