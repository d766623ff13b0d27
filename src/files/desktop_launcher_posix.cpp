#include "files/desktop_launcher.h"

#include <gio/gio.h>
#include <unistd.h>

#include <fstream>

namespace {
CDesktopLauncher::EResult Launch(GAppInfo* app, const std::string& path)
{
    GFile* file = g_file_new_for_path(path.c_str());
    GList* files = g_list_append(nullptr, file);
    GError* error = nullptr;
    gboolean ok = g_app_info_launch(app, files, nullptr, &error);
    if (error)
        g_error_free(error);
    g_list_free(files);
    g_object_unref(file);
    return ok ? CDesktopLauncher::EResult::Launched : CDesktopLauncher::EResult::Failed;
}

CDesktopLauncher::EResult OpenWithDefaultFor(const std::string& contentType, const std::string& path)
{
    GAppInfo* app = g_app_info_get_default_for_type(contentType.c_str(), FALSE);
    if (!app)
        return CDesktopLauncher::EResult::NoAssociation;
    CDesktopLauncher::EResult result = Launch(app, path);
    g_object_unref(app);
    return result;
}

// The launched tool gets a session of its own, away from this program's signals.
void DetachChild(gpointer)
{
    setsid();
}
} // namespace

std::string CDesktopLauncher::ContentTypeOf(const std::string& path)
{
    char head[4096];
    std::size_t size = 0;
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            in.read(head, sizeof head);
            size = static_cast<std::size_t>(in.gcount());
        }
    }
    gboolean uncertain = FALSE;
    gchar* type = g_content_type_guess(path.c_str(), size ? reinterpret_cast<const guchar*>(head) : nullptr, size,
                                       &uncertain);
    std::string result = type ? type : "";
    g_free(type);
    return result;
}

CDesktopLauncher::EResult CDesktopLauncher::OpenWithAssociation(const std::string& path)
{
    std::string type = ContentTypeOf(path);
    if (type.empty())
        return EResult::NoAssociation;
    return OpenWithDefaultFor(type, path);
}

CDesktopLauncher::EResult CDesktopLauncher::OpenInTextEditor(const std::string& path)
{
    return OpenWithDefaultFor("text/plain", path);
}

CDesktopLauncher::EResult CDesktopLauncher::Run(const std::vector<std::string>& args)
{
    if (args.empty() || args[0].empty())
        return EResult::Failed;
    std::vector<gchar*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<gchar*>(a.c_str()));
    argv.push_back(nullptr);
    GError* error = nullptr;
    // Without G_SPAWN_DO_NOT_REAP_CHILD GLib collects the child itself.
    gboolean ok = g_spawn_async(nullptr, argv.data(), nullptr, G_SPAWN_SEARCH_PATH, DetachChild, nullptr, nullptr,
                                &error);
    if (error)
        g_error_free(error);
    return ok ? EResult::Launched : EResult::Failed;
}
