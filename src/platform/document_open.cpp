// GIO first: its headers use the word "signals", which Qt turns into a macro.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <unistd.h>

#include <memory>

#include "platform/document_open.h"
#include "platform/start_failed.h"

namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorSlot {
    GError* error = nullptr;
    ~GErrorSlot() { g_clear_error(&error); }
};

uint32_t CodeFromIoError(int code) {
    switch (code) {
        case G_IO_ERROR_NOT_FOUND:
            return 2;
        case G_IO_ERROR_NOT_DIRECTORY:
            return 3;
        case G_IO_ERROR_PERMISSION_DENIED:
            return 5;
        default:
            return 0;
    }
}

[[noreturn]] void Fail(const GError* error) {
    const uint32_t code = error->domain == G_IO_ERROR ? CodeFromIoError(error->code) : 0;
    throw EStartFailed(code, error->message);
}

// The type file managers would see: by name, and by content where the name says nothing.
std::string ContentTypeOf(GFile* file) {
    GErrorSlot slot;
    GObjectPtr<GFileInfo> info(g_file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                                 G_FILE_QUERY_INFO_NONE, nullptr, &slot.error));
    if (!info) Fail(slot.error);
    const char* type = g_file_info_get_content_type(info.get());
    return type ? type : "application/octet-stream";
}

void SetUpChild(gpointer folder) {
    PrepareStartedChild();
    if (folder && chdir(static_cast<const char*>(folder)) != 0) _exit(127);
}

void KeepPid(GDesktopAppInfo*, GPid pid, gpointer slot) {
    *static_cast<pid_t*>(slot) = pid;
}

}  // namespace

TChildProcess OpenWithDefaultApplication(const std::string& path, const std::string& directory) {
    GObjectPtr<GFile> file(g_file_new_for_path(path.c_str()));
    const std::string type = ContentTypeOf(file.get());
    GObjectPtr<GAppInfo> app(g_app_info_get_default_for_type(type.c_str(), FALSE));
    if (!app || !G_IS_DESKTOP_APP_INFO(app.get()))
        throw EStartFailed(31, "No application is registered for " + type);

    std::unique_ptr<char, decltype(&g_free)> uri(g_file_get_uri(file.get()), &g_free);
    GList uris{uri.get(), nullptr, nullptr};
    // We reap the child ourselves, like every other one we start.
    const auto flags = static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD);
    gpointer folder = directory.empty() ? nullptr : const_cast<char*>(directory.c_str());
    pid_t pid = -1;  // stays -1 when the desktop hands the file to a running instance
    GErrorSlot slot;
    if (!g_desktop_app_info_launch_uris_as_manager(G_DESKTOP_APP_INFO(app.get()), &uris, nullptr,
                                                   flags, SetUpChild, folder, KeepPid, &pid,
                                                   &slot.error))
        // The document is fine; it is the desktop's application for it that would not start.
        throw EStartFailed(31, slot.error->message);
    return TChildProcess(pid);
}
