#pragma once
// The font of a text pane (the terminal, the output window): the record stored under its key
// when there is one of the right size, else the default face, else a fixed-pitch font of the
// desktop. GUI thread (it asks the font database).

#include <QFont>

class ISettingsStore;

QFont LoadPaneFont(ISettingsStore& store, const char* key, const char* defaultFace, int defaultPoints);
