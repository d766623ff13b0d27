#pragma once
// CFileListModel: the file list as a table model over the CFileList it owns, with the columns
// File (with the file's icon), Size and Location. Every change of the list goes through this
// model, so the views follow the rows without a copy of their own. Names and folders are shown
// as the file system's bytes decoded. GUI thread only.

#include "files/file_list.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QHash>
#include <QIcon>

#include <string>

class CFileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum EColumn { kColumnFile, kColumnSize, kColumnLocation, kColumnCount };

    explicit CFileListModel(QObject* parent = nullptr);

    const CFileList& Files() const { return m_files; }
    // As CFileList::AddFile, with the row announced to the views.
    int AddFile(const std::string& path);
    // As CFileList::AddFiles, in one reset of the model (no signal per row).
    int AddFiles(const std::vector<std::string>& paths);
    void RemoveAt(int row);
    void RemoveAll();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QIcon IconFor(const CFileEntry& entry) const;

    CFileList m_files;
    // Icons by full path: the desktop's lookup is too slow for every paint.
    mutable QHash<QByteArray, QIcon> m_icons;
};
