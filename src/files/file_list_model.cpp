#include "files/file_list_model.h"

#include <QFile>
#include <QFileIconProvider>
#include <QMimeDatabase>

namespace {
QString FromBytes(const std::string& bytes)
{
    return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

// As an int, the form every view and delegate reads.
constexpr int kRightAligned = Qt::AlignRight | Qt::AlignVCenter;
} // namespace

CFileListModel::CFileListModel(QObject* parent) : QAbstractTableModel(parent) {}

CFileListModel::~CFileListModel()
{
    StopProbe();
}

void CFileListModel::StopProbe()
{
    m_bStopProbe = true;
    if (m_probeThread.joinable())
        m_probeThread.join();
    m_bStopProbe = false;
}

int CFileListModel::AddFile(const std::string& path)
{
    int row = m_files.AddFile(path, [this](int at) { beginInsertRows(QModelIndex(), at, at); });
    if (row >= 0)
        endInsertRows();
    return row;
}

int CFileListModel::AddFiles(const std::vector<std::string>& paths)
{
    // An earlier load's worker finishes its look first (its batches stay queued in order).
    if (m_probeThread.joinable())
        m_probeThread.join();
    beginResetModel();
    int added = m_files.AddFiles(paths, false);
    endResetModel();
    std::vector<std::string> pending;
    for (const CFileEntry& entry : m_files.Entries())
        if (entry.m_bPending)
            pending.push_back(CFileList::GetEntryPath(entry));
    if (pending.empty())
        return added;
    // Batches small enough to keep the window answering between them.
    constexpr std::size_t kBatch = 2000;
    m_nPendingBatches += static_cast<int>((pending.size() + kBatch - 1) / kBatch);
    m_probeThread = std::thread([this, pending = std::move(pending)] {
        for (std::size_t at = 0; at < pending.size(); at += kBatch) {
            CProbeBatch batch;
            const std::size_t end = std::min(pending.size(), at + kBatch);
            for (std::size_t i = at; i < end && !m_bStopProbe; ++i)
                batch.emplace_back(pending[i], CFileList::ProbeFile(pending[i]));
            // Posted even when stopping, so the count of batches still comes out right; a
            // model that is gone drops what was posted to it.
            QMetaObject::invokeMethod(this, [this, batch = std::move(batch)] { ApplyProbes(batch); },
                                      Qt::QueuedConnection);
        }
    });
    return added;
}

void CFileListModel::ApplyProbes(const CProbeBatch& batch)
{
    bool changed = false;
    for (const auto& [path, probe] : batch) {
        int row = m_files.ApplyProbe(path, probe);
        if (row < 0)
            continue;
        // A folder is never listed: its row goes.
        if (probe.m_bDirectory)
            RemoveAt(row);
        else
            changed = true;
    }
    if (changed && rowCount() > 0)
        emit dataChanged(index(0, kColumnFile), index(rowCount() - 1, kColumnSize));
    if (--m_nPendingBatches == 0)
        emit ProbeFinished();
}

void CFileListModel::RemoveAt(int row)
{
    if (row < 0 || row >= m_files.Count())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_icons.remove(QByteArray::fromStdString(m_files.GetEntryPath(row)));
    m_files.RemoveAt(row);
    endRemoveRows();
}

void CFileListModel::RemoveAll()
{
    if (m_files.Count() == 0)
        return;
    beginRemoveRows(QModelIndex(), 0, m_files.Count() - 1);
    m_icons.clear();
    m_files.RemoveAll();
    endRemoveRows();
}

int CFileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_files.Count();
}

int CFileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CFileListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const CFileEntry& entry = m_files.Entry(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case kColumnFile: return FromBytes(entry.m_strName);
        case kColumnSize: return entry.m_nSize ? QString::number(*entry.m_nSize) : QString();
        case kColumnLocation: return FromBytes(entry.m_strFolder);
        default: return {};
        }
    case Qt::DecorationRole:
        if (index.column() == kColumnFile)
            return IconFor(entry);
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == kColumnSize)
            return kRightAligned;
        return {};
    default:
        return {};
    }
}

QVariant CFileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole) {
        switch (section) {
        case kColumnFile: return QStringLiteral("File");
        case kColumnSize: return QStringLiteral("Size");
        case kColumnLocation: return QStringLiteral("Location");
        default: return {};
        }
    }
    if (role == Qt::TextAlignmentRole && section == kColumnSize)
        return kRightAligned;
    return {};
}

Qt::ItemFlags CFileListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}

QIcon CFileListModel::IconFor(const CFileEntry& entry) const
{
    // A file that could not be opened has no icon, as the desktop cannot tell its kind.
    if (!entry.m_nSize)
        return QIcon();
    const QByteArray path = QByteArray::fromStdString(CFileList::GetEntryPath(entry));
    auto cached = m_icons.constFind(path);
    if (cached != m_icons.constEnd())
        return *cached;
    static QMimeDatabase db;
    QMimeType type = db.mimeTypeForFile(QFile::decodeName(path));
    QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
    if (icon.isNull()) {
        static QFileIconProvider provider;
        icon = provider.icon(QFileIconProvider::File);
    }
    m_icons.insert(path, icon);
    return icon;
}
