#pragma once
// The one path of "a sample arrived": the source the displays read (the RAM
// monitor, or a log player put in front of it) and the subscribers told of
// every new sample, in the order they subscribed. A subscriber may subscribe
// or drop subscribers (itself included) while a sample is delivered; one
// dropped then is not called again, one added then gets the next sample.
//
// Ownership: the channel owns its subscribers' functions. A Hold undoes what
// made it (a subscription, a source put in front) when it goes, and does
// nothing once the channel is gone, so holders may outlive the channel.
#include <functional>
#include <memory>
#include <vector>

namespace qx {

class LiveSource;

class SampleChannel {
    struct State;

  public:
    // first: the first sample since the source (re)started, or after a jump.
    using Subscriber = std::function<void(LiveSource& source, bool first)>;

    class [[nodiscard]] Hold {
      public:
        Hold() = default;
        Hold(Hold&& other) noexcept;
        Hold& operator=(Hold&& other) noexcept;
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        ~Hold();
        // Undoes it now; later calls do nothing.
        void Reset();
        explicit operator bool() const { return id_ != 0; }

      private:
        friend class SampleChannel;
        Hold(std::weak_ptr<State> state, int id) : state_(std::move(state)), id_(id) {}
        std::weak_ptr<State> state_;
        int id_ = 0;
    };

    // fallback: the source read while none is put in front (may be null).
    explicit SampleChannel(LiveSource* fallback = nullptr);
    ~SampleChannel();
    SampleChannel(const SampleChannel&) = delete;
    SampleChannel& operator=(const SampleChannel&) = delete;

    // The source the displays read: the one in front, else the fallback.
    LiveSource* Active() const;
    // The source put in front, null when none is.
    LiveSource* Front() const;
    // Puts source in front until the hold goes (a later one replaces it). Not
    // owned: the hold must go before the source does.
    Hold PutInFront(LiveSource& source);

    Hold Subscribe(Subscriber subscriber);
    std::size_t SubscriberCount() const;
    // Tells every subscriber, in order, that source has a new sample.
    void Publish(LiveSource& source, bool first);

  private:
    std::shared_ptr<State> state_;
};

}  // namespace qx
