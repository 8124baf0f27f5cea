#include "platform/wave_sound.h"

#include <canberra.h>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "base/trim.h"

namespace {

// The sound naming event for new mail; a theme without that sound gives its nearest more
// general one ("message-new", "message"), which is how theme lookup works.
constexpr const char* kNewMailEvent = "message-new-email";

// Signalled from the sound library's own thread when a sound has played or failed.
class Completion {
  public:
    static void Finished(ca_context*, uint32_t, int error, void* self) {
        auto* completion = static_cast<Completion*>(self);
        std::lock_guard lock(completion->mutex_);
        completion->error_ = error;
        completion->done_ = true;
        completion->signal_.notify_all();
    }
    int Wait() {
        std::unique_lock lock(mutex_);
        signal_.wait(lock, [this] { return done_; });
        return error_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable signal_;
    bool done_ = false;
    int error_ = CA_SUCCESS;
};

struct ProplistDestroy {
    void operator()(ca_proplist* list) const { ca_proplist_destroy(list); }
};

// Plays one sound and waits for its end; CA_SUCCESS when it played through.
int PlayToEnd(ca_context* context, const char* key, const std::string& value,
              Completion& completion) {
    ca_proplist* raw = nullptr;
    if (ca_proplist_create(&raw) != CA_SUCCESS) return CA_ERROR_OOM;
    std::unique_ptr<ca_proplist, ProplistDestroy> props(raw);
    ca_proplist_sets(raw, key, value.c_str());
    ca_proplist_sets(raw, CA_PROP_EVENT_DESCRIPTION, "New mail");
    const int started = ca_context_play_full(context, 1, raw, &Completion::Finished, &completion);
    if (started != CA_SUCCESS) return started;
    return completion.Wait();
}

// One context for the life of the process, never destroyed: the sound library's ALSA driver
// still runs a few instructions on its playback thread after the finish callback, and
// destroying the context then unloads the driver under that thread's feet (a crash seen in
// about one play out of three). Returns null while no context can be made.
ca_context* SoundContext() {
    static ca_context* context = nullptr;
    if (context) return context;
    if (ca_context_create(&context) != CA_SUCCESS) return context = nullptr;
    ca_context_change_props(context, CA_PROP_APPLICATION_NAME, "Vornask", CA_PROP_APPLICATION_ID,
                            "vornask", nullptr);
    return context;
}

}  // namespace

void PlayWaveSound(const std::string& fileName) {
    const std::string name = StripEnclosingQuotes(fileName);
    ca_context* context = SoundContext();
    if (!context) return;
    Completion fileDone;
    if (!name.empty() && PlayToEnd(context, CA_PROP_MEDIA_FILENAME, name, fileDone) == CA_SUCCESS)
        return;
    // Missing, unreadable or not a wave file: the desktop's own new-mail sound. Without any
    // sound device this fails too, and the notification goes on silently.
    Completion fallbackDone;
    PlayToEnd(context, CA_PROP_EVENT_ID, kNewMailEvent, fallbackDone);
}
