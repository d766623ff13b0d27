#pragma once
// CEditorCommand: the arguments that open a file at a line in the configured editor. Pure
// functions, any thread. The setting is split into arguments first (as every tool setting is)
// and the file then replaces %f inside one argument, so no character of its name can split,
// join or quote arguments; nothing passes through a shell.

#include <string>
#include <vector>

class CEditorCommand {
public:
    // Arguments for the editor setting: %f = the file, %l = the line (1 when none is known),
    // %% = a percent sign. Without placeholders a known editor (code, codium, gedit, kate,
    // mousepad, geany, emacs, vim, gvim, nano ...) gets its own line syntax and any other the
    // file as its last argument. Empty when the setting is empty (the caller then opens the
    // file with the desktop's editor, without a line). line <= 0: no line.
    static std::vector<std::string> Make(const std::string& editorSetting, const std::string& file, int line);

    // The file as an argument that no editor takes for an option: "./-x" for "-x".
    static std::string SafeFileArgument(const std::string& file);
};
