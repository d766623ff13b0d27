#pragma once
// CFileListModel: the file list as a table model over the CFileList it owns, with the columns
// File (with the file's icon), Size and Location. Every change of the list goes through this
// model, so the views follow the rows without a copy of their own. Names and folders are shown
// as the file system's bytes decoded. GUI thread only; a long load looks at its files on a
// worker thread of the model's own, which posts its results here and is joined by the
// destructor.

#include "files/file_list.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QHash>
#include <QIcon>

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class CFileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum EColumn { kColumnFile, kColumnSize, kColumnLocation, kColumnCount };

    explicit CFileListModel(QObject* parent = nullptr);
    ~CFileListModel() override;

    const CFileList& Files() const { return m_files; }
    // As CFileList::AddFile, with the row announced to the views.
    int AddFile(const std::string& path);
    // As CFileList::AddFiles, in one reset of the model (no signal per row; the selection goes).
    // The files are looked at on a worker thread: sizes and icons follow in batches, and rows
    // that turn out to be folders go. Returns the rows added.
    int AddFiles(const std::vector<std::string>& paths);
    // A load's files are still being looked at.
    bool IsProbing() const { return m_nPendingBatches > 0; }
    void RemoveAt(int row);
    void RemoveAll();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // The last batch of a load's probe has been applied.
    void ProbeFinished();

private:
    using CProbeBatch = std::vector<std::pair<std::string, CFileProbe>>;
    QIcon IconFor(const CFileEntry& entry) const;
    void ApplyProbes(const CProbeBatch& batch);
    void StopProbe();

    std::thread m_probeThread;
    std::atomic<bool> m_bStopProbe{false};
    // Batches posted by the worker and not applied yet (GUI thread).
    int m_nPendingBatches = 0;

    CFileList m_files;
    // Icons by full path: the desktop's lookup is too slow for every paint.
    mutable QHash<QByteArray, QIcon> m_icons;
};
