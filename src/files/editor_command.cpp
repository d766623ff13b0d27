#include "files/editor_command.h"

#include "files/command_line.h"

namespace {
bool HasPlaceholder(const std::vector<std::string>& args)
{
    for (const std::string& arg : args)
        if (arg.find("%f") != std::string::npos || arg.find("%l") != std::string::npos)
            return true;
    return false;
}

std::string Expand(const std::string& arg, const std::string& file, const std::string& line)
{
    std::string out;
    for (std::size_t i = 0; i < arg.size(); ++i) {
        if (arg[i] == '%' && i + 1 < arg.size()) {
            const char next = arg[i + 1];
            if (next == 'f' || next == 'l' || next == '%') {
                out += next == 'f' ? file : next == 'l' ? line : std::string("%");
                ++i;
                continue;
            }
        }
        out += arg[i];
    }
    return out;
}

// The program's name without its folder.
std::string BaseName(const std::string& program)
{
    std::size_t slash = program.find_last_of("/\\");
    return slash == std::string::npos ? program : program.substr(slash + 1);
}
} // namespace

std::string CEditorCommand::SafeFileArgument(const std::string& file)
{
    if (!file.empty() && (file[0] == '-' || file[0] == '+'))
        return "./" + file;
    return file;
}

std::vector<std::string> CEditorCommand::Make(const std::string& editorSetting, const std::string& file, int line)
{
    std::vector<std::string> args = ToolArguments(editorSetting);
    if (args.empty())
        return args;
    const std::string path = SafeFileArgument(file);
    const std::string lineText = std::to_string(line > 0 ? line : 1);
    if (HasPlaceholder(args)) {
        for (std::size_t i = 1; i < args.size(); ++i)
            args[i] = Expand(args[i], path, lineText);
        return args;
    }
    if (line <= 0) {
        args.push_back(path);
        return args;
    }
    const std::string name = BaseName(args[0]);
    if (name == "code" || name == "codium" || name == "code-insiders" || name == "code-oss") {
        args.insert(args.end(), {"--goto", path + ':' + lineText});
    } else if (name == "kate" || name == "mousepad") {
        args.insert(args.end(), {"--line", lineText, path});
    } else if (name == "geany") {
        args.insert(args.end(), {"--line=" + lineText, path});
    } else if (name == "gedit" || name == "emacs" || name == "emacsclient" || name == "vim" || name == "gvim" ||
               name == "vi" || name == "nvim" || name == "nano" || name == "xed" || name == "pluma") {
        args.insert(args.end(), {'+' + lineText, path});
    } else {
        args.push_back(path);
    }
    return args;
}
