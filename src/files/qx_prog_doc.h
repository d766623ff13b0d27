#pragma once
// CQxProgDoc: the document of the single-document window. It holds no data; the file list view
// keeps the rows. Exists so the frame has the framework's document/view pair. GUI thread.

class CQxProgDoc {
public:
    // A new document: nothing to set up. True, as the framework expects.
    bool OnNewDocument() { return true; }
};
