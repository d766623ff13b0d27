#include "browser/desktop_apps.h"

#include <gio/gio.h>

namespace {

std::string TakeError(GError* error)
{
    std::string text = error != nullptr && error->message != nullptr ? error->message : "Unknown error";
    if (error != nullptr)
        g_error_free(error);
    return text;
}

std::string UriOf(const std::string& path)
{
    GFile* file = g_file_new_for_path(path.c_str());
    char* uri = g_file_get_uri(file);
    std::string text = uri != nullptr ? uri : "";
    g_free(uri);
    g_object_unref(file);
    return text;
}

} // namespace

std::string CDesktopApps::ContentTypeOf(const std::string& path, bool isFolder)
{
    if (isFolder)
        return "inode/directory";
    gboolean uncertain = FALSE;
    char* type = g_content_type_guess(path.c_str(), nullptr, 0, &uncertain);
    std::string text = type != nullptr ? type : "application/octet-stream";
    g_free(type);
    return text;
}

std::vector<CDesktopApp> CDesktopApps::AppsForType(const std::string& contentType)
{
    std::vector<CDesktopApp> apps;
    GList* list = g_app_info_get_all_for_type(contentType.c_str());
    for (GList* node = list; node != nullptr; node = node->next) {
        auto* info = static_cast<GAppInfo*>(node->data);
        const char* id = g_app_info_get_id(info);
        const char* name = g_app_info_get_display_name(info);
        if (id != nullptr)
            apps.push_back(CDesktopApp{id, name != nullptr ? name : id});
    }
    g_list_free_full(list, g_object_unref);
    return apps;
}

std::string CDesktopApps::OpenDefault(const std::string& path)
{
    GError* error = nullptr;
    if (g_app_info_launch_default_for_uri(UriOf(path).c_str(), nullptr, &error))
        return {};
    return TakeError(error);
}

std::string CDesktopApps::OpenWith(const std::string& appId, const std::string& contentType, const std::string& path)
{
    GList* list = g_app_info_get_all_for_type(contentType.c_str());
    GAppInfo* chosen = nullptr;
    for (GList* node = list; node != nullptr; node = node->next) {
        auto* info = static_cast<GAppInfo*>(node->data);
        const char* id = g_app_info_get_id(info);
        if (id != nullptr && appId == id) {
            chosen = info;
            break;
        }
    }
    std::string result;
    if (chosen == nullptr) {
        result = "The application is no longer installed.";
    } else {
        GFile* file = g_file_new_for_path(path.c_str());
        GList files = {file, nullptr, nullptr};
        GError* error = nullptr;
        if (!g_app_info_launch(chosen, &files, nullptr, &error))
            result = TakeError(error);
        g_object_unref(file);
    }
    g_list_free_full(list, g_object_unref);
    return result;
}

std::string CDesktopApps::Trash(const std::string& path)
{
    GFile* file = g_file_new_for_path(path.c_str());
    GError* error = nullptr;
    std::string result;
    if (!g_file_trash(file, nullptr, &error))
        result = TakeError(error);
    g_object_unref(file);
    return result;
}
