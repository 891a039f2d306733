// The main window's actions that change the recorder's content: copying PC files to the
// recorder, erasing the selected items and formatting the memory.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTreeView>

#include "audio/WaveAddInfo.h"
#include "audio/Wavefunc.h"
#include "engine/RecClassesBlocks.h"
#include "engine/RecClassesLists.h"
#include "engine/Recinterface.h"
#include "i18n/VexaLang.h"
#include "link/RecXchange.h"
#include "platform/PosixFile.h"
#include "platform/SystemTime.h"
#include "ui/Fileutils.h"
#include "ui/Mainutils.h"
#include "ui/MsgBox.h"
#include "ui/OverWrite.h"
#include "ui/Quorv_main.h"
#include "ui/RecordList.h"

namespace {

QString Lang(const char* name) {
    return QString::fromStdString(GetLangConstant(name));
}

// Questions whose Yes destroys content default to No.
constexpr unsigned DestructiveQuestion = MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2;
constexpr unsigned PartialQuestion = MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON1;

void PumpMessages(bool pause) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (pause)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void PlainBox(const QString& text) {
    ShowMessageBox(text, ApplicationTitle(), MB_OK);
}

// The recorder's drive names carry no leading "\"; the list may still hold either form.
int FindDriveEntry(TCustomRecorder& recorder, const std::string& name) {
    TDriveFileList* files = recorder.GetDriveFileList();
    if (files == nullptr)
        return -1;
    const int found = files->IndexOfName(name);
    if (found >= 0 || name.empty())
        return found;
    return name.front() == '\\' ? files->IndexOfName(name.substr(1))
                                : files->IndexOfName("\\" + name);
}

std::string DriveNameBelow(const std::string& shownFolder, const std::string& relative) {
    std::string folder = TrimBackslashes(shownFolder);
    if (!folder.empty())
        folder += '\\';
    return folder + relative;
}

// A PC path for a folder path of the PC file list ("\a\b\") below a base folder.
QString PcPathOf(const QString& base, const TFileListItem& entry) {
    QString path = base;
    for (const QString& part :
         QString::fromStdString(entry.FolderPath).split(QLatin1Char('\\'), Qt::SkipEmptyParts))
        path += QLatin1Char('/') + part;
    return path + QLatin1Char('/') + QString::fromStdString(entry.Name);
}

} // namespace

// The rate text of the upload label. The text comes from a translation file, so it is never
// handed to printf: only its first %d (or %i, %u) takes the rate and %% stays one percent
// sign; a text without such a conversion is shown unchanged.
QString UploadRateText(const QString& format, int rateKbPerSecond) {
    QString out;
    bool used = false;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != QLatin1Char('%') || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        const QChar next = format.at(i + 1);
        if (next == QLatin1Char('%')) {
            out += QLatin1Char('%');
            ++i;
        } else if (!used && (next == QLatin1Char('d') || next == QLatin1Char('i') ||
                             next == QLatin1Char('u'))) {
            out += QString::number(rateKbPerSecond);
            used = true;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

void TfrmQuorvMain::ConnectUploadActions() {
    connect(actCopyToRec, &QAction::triggered, this, [this] { actCopyToRecExecute(); });
    connect(actRecErase, &QAction::triggered, this, [this] { actRecEraseExecute(actRecErase); });
    connect(actFormat, &QAction::triggered, this, [this] { actFormatExecute(actFormat); });
}

QStringList TfrmQuorvMain::SelectedExplorerPaths() const {
    QStringList paths;
    QModelIndexList rows = ShellListView1->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& index : rows)
        paths << ShellModel->filePath(index);
    return paths;
}

std::uint16_t TfrmQuorvMain::NextRecordNumber() const {
    std::uint16_t highest = 0;
    TSoundFileList* records = Recorder != nullptr ? Recorder->GetSoundFileList() : nullptr;
    for (int i = 0; records != nullptr && i < records->Count(); ++i)
        highest = std::max(highest, records->Get(i)->Number);
    for (int i = 0; i < RecList->Count(); ++i) {
        const TRecordItem* item = RecList->GetItem(i);
        if (item != nullptr && !item->IsVoicePart())
            highest = std::max(highest, item->Number);
    }
    return static_cast<std::uint16_t>(highest + 1);
}

void TfrmQuorvMain::actCopyToRecExecute() {
    CopyToRecorder(SelectedExplorerPaths());
}

void TfrmQuorvMain::CopyToRecorder(const QStringList& paths) {
    if (Recorder == nullptr || paths.isEmpty() || IsBusy())
        return;
    CancelRequested = false;
    SetUiEnabled(false);
    try {
        if (ViewFlag == 0)
            UploadRecords(paths);
        else
            UploadDriveItems(paths);
    } catch (const TERecXchange& error) {
        ShowExceptionBox(error);
    } catch (const std::exception& error) {
        ShowMessageBox(QString::fromStdString(error.what()), ApplicationTitle(), MB_ICONERROR);
    }
    CloseVisibleProgress();
    SetUiEnabled(true);
}

void TfrmQuorvMain::UploadRecords(const QStringList& paths) {
    if (Recorder->ChooseUploadFormat() == -1)
        return;
    for (const QString& path : paths) {
        if (CancelRequested || Recorder == nullptr)
            break;
        const QFileInfo info(path);
        try {
            if (info.isDir()) {
                PlainBox(info.fileName() + QLatin1Char(' ') + Lang("NotWaveFileStr"));
                continue;
            }
            if (!CanOpenFile(path, false)) {
                PlainBox(Lang("CantOpenStr") + QLatin1Char(' ') + info.fileName());
                continue;
            }
            {
                TWaveFile probe;
                probe.SetFileName(path.toStdString());
                if (!probe.Open()) {
                    PlainBox(info.fileName() + QLatin1Char(' ') + Lang("NotWaveFileStr"));
                    continue;
                }
            }
            if (Recorder->IsModified())
                ReadRecordList();
            if (Recorder->GetFreeMemory() <= 0) {
                if (ShowMessageBox(Lang("NotEnoughSpaceStr") + QLatin1Char(' ') + path,
                                   ApplicationTitle(), MB_OKCANCEL) == IDCANCEL)
                    CancelRequested = true;
                break;
            }
            UploadRecord(path, NextRecordNumber());
        } catch (const TERecXchange& error) {
            ShowExceptionBox(error);
        }
    }
}

bool TfrmQuorvMain::UploadRecord(const QString& path, std::uint16_t number) {
    TWaveFile wave;
    wave.SetFileName(path.toStdString());
    if (!wave.Open()) {
        PlainBox(Lang("CantOpenStr") + QLatin1Char(' ') + path);
        return false;
    }
    try {
        // A file this program downloaded keeps the time it was recorded at.
        TSystemTime recordTime = LocalTimeNow();
        if (wave.GetAddInfoSize() == WaveAddInfoSizes[5]) {
            const std::vector<std::uint8_t>& record = wave.GetAddInfo();
            recordTime = ParseWaveAddInfo(record.data(), static_cast<std::int32_t>(record.size()))
                             .RecordTime;
        } else {
            GetFileLocalTime(path, recordTime);
        }
        const std::int64_t size = Recorder->GetUploadSize(wave);
        if (size < 0) {
            PlainBox(Lang("UnsuppAudioFmtStr"));
            wave.Close();
            return false;
        }
        if (Recorder->GetFreeMemory() < size &&
            ShowMessageBox(Lang("NotEnoughSpaceLoadPartlyStr"), ApplicationTitle(),
                           PartialQuestion) != IDYES) {
            wave.Close();
            return false;
        }
        ShowUploadProgress(Lang("StatusPreparingStr"));
        QElapsedTimer started;
        started.start();
        Recorder->WriteSoundFile(number, wave, recordTime);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const QString format = Lang("StatusUploadingRecordStr");
        QString label;
        bool cancelSent = false;
        while (Recorder->GetState() != StateIdle) {
            SetGauge(Recorder->GetProgress());
            if (Recorder->GetState() == StateWriting) {
                const double seconds = static_cast<double>(started.elapsed()) * 0.001;
                const double bytes = static_cast<double>(size / 100) * ProgressGauge;
                if (seconds > 0) {
                    const int rate = static_cast<int>(std::ceil(bytes / seconds / 1024));
                    const QString text =
                        UploadRateText(format, rate) + QLatin1Char(' ') + QString::number(number);
                    if (text != label) {
                        label = text;
                        if (Seams.ShowProgress)
                            Seams.ShowProgress(label, true);
                        SetGauge(ProgressGauge);
                    }
                }
            }
            if (CancelRequested && !cancelSent) {
                Recorder->Cancel();
                cancelSent = true;
            }
            PumpMessages(true);
        }
        SetGauge(100);
        wave.Close();
        // A write that failed or was cancelled did not run to its end.
        return ShowOperationOutcome();
    } catch (const TERecXchange& error) {
        ShowExceptionBox(error);
        wave.Close();
        return false;
    }
}

void TfrmQuorvMain::UploadDriveItems(const QStringList& paths) {
    bool overwriteAll = false;
    bool skipAll = false;
    for (const QString& path : paths) {
        if (CancelRequested || Recorder == nullptr)
            break;
        const QFileInfo info(path);
        const QString base = info.absolutePath();
        TFileList entries;
        if (info.isDir()) {
            ScanFolderTree(path.toStdString(), &entries);
        } else {
            TFileListItem file;
            file.Name = info.fileName().toStdString();
            file.FolderPath = "\\";
            file.Size = info.size();
            GetFileLocalTime(path, file.Time);
            entries.AddCopy(file);
        }
        for (int i = 0; i < entries.Count() && !CancelRequested; ++i) {
            const TFileListItem& entry = entries.Item(i);
            const std::string relative = TrimBackslashes(entry.FolderPath + entry.Name);
            const std::string driveName = DriveNameBelow(ShownDrvList->FilterPath(), relative);
            bool skip = false;
            const int existing = FindDriveEntry(*Recorder, driveName);
            if (existing >= 0) {
                if (entry.IsFolder) {
                    skip = true; // the folder is there already: its content goes into it
                } else if (skipAll) {
                    skip = true;
                } else if (!overwriteAll) {
                    switch (AskDriveOverwrite(QString::fromStdString(driveName))) {
                    case mrCancelBatch:
                        skip = true;
                        CancelRequested = true;
                        break;
                    case mrOverwriteAll:
                        overwriteAll = true;
                        break;
                    case mrSkipAll:
                        skipAll = true;
                        skip = true;
                        break;
                    case mrOverwrite:
                        break;
                    default:
                        skip = true;
                        break;
                    }
                }
                if (!skip) {
                    Recorder->EraseDriveFile(existing);
                    WaitRecorderOperation(Lang("StatusErasingStr") + QLatin1Char(' ') +
                                          QString::fromStdString(driveName));
                    // An entry that could not be erased is not written over.
                    if (!ShowOperationOutcome())
                        skip = true;
                }
            }
            if (Recorder->IsModified())
                ReadRecordList();
            if (skip)
                continue;
            // A folder's size counts its entries, not bytes: it needs no room of its own.
            const std::int64_t needed = entry.IsFolder ? 0 : entry.Size;
            if (needed <= Recorder->GetFreeDriveMemory()) {
                UploadDriveFile(driveName, entry, PcPathOf(base, entry));
                if (Recorder->IsModified())
                    ReadRecordList(); // the next entry's lookup needs the list as it is now
            } else if (ShowMessageBox(Lang("NotEnoughSpaceStr") + QLatin1Char(' ') +
                                          QString::fromStdString(relative),
                                      ApplicationTitle(), MB_OKCANCEL) == IDCANCEL) {
                CancelRequested = true;
            }
        }
    }
}

int TfrmQuorvMain::AskDriveOverwrite(const QString& driveName) {
    if (AskOverwriteHook)
        return AskOverwriteHook(driveName);
    TfrmOverwrite dialog(this);
    dialog.SetFileName(driveName);
    dialog.RenameBtn->setVisible(false); // a drive entry keeps the name it is copied under
    return dialog.exec();
}

bool TfrmQuorvMain::UploadDriveFile(const std::string& driveName, const TFileListItem& entry,
                                    const QString& pcPath) {
    const QString shownName = QString::fromStdString(entry.Name);
    ShowUploadProgress(Lang("StatusUploadingFileStr") + QLatin1Char(' ') + shownName);
    TPosixFile file;
    if (!entry.IsFolder && !file.Open(pcPath.toStdString(), TPosixFile::TMode::ReadOnly)) {
        PlainBox(Lang("CantOpenStr") + QLatin1Char(' ') + shownName);
        return false;
    }
    try {
        if (!entry.IsFolder && Recorder->GetFreeDriveMemory() < entry.Size) {
            PlainBox(Lang("NotEnoughSpaceStr") + QLatin1Char(' ') + shownName);
            return false;
        }
        Recorder->WriteDriveFile(driveName, entry.IsFolder ? nullptr : &file, entry.Time);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        bool cancelSent = false;
        while (Recorder->GetState() != StateIdle) {
            SetGauge(Recorder->GetProgress());
            if (CancelRequested && !cancelSent) {
                Recorder->Cancel();
                cancelSent = true;
            }
            PumpMessages(false);
        }
        SetGauge(100);
        file.Close();
        return ShowOperationOutcome();
    } catch (const TERecXchange& error) {
        ShowExceptionBox(error);
        file.Close();
        return false;
    }
}

void TfrmQuorvMain::actRecEraseExecute(QObject* /*sender*/) {
    if (Recorder == nullptr)
        return;
    SetUiEnabled(false);
    CancelRequested = false;
    try {
        if (ViewFlag == 0)
            EraseSelectedRecords();
        else
            EraseSelectedDriveFiles();
    } catch (const TERecXchange& error) {
        ShowExceptionBox(error);
    }
    SetUiEnabled(true);
}

void TfrmQuorvMain::EraseSelectedRecords() {
    if (ShowMessageBox(Lang("ReallyEraseSelRecStr"), ApplicationTitle(), DestructiveQuestion) !=
        IDYES)
        return;
    // Copied first: the waits below process messages, and nothing may refill the list under us.
    struct TErase {
        std::uint16_t Number;
        std::uint8_t Status;
    };
    std::vector<TErase> chosen;
    for (int row : SelectedRows(lvRecContent)) {
        const TRecordItem* item = RecList->GetItem(row);
        if (item != nullptr && !item->IsVoicePart())
            chosen.push_back({item->Number, item->Status});
    }
    for (const TErase& record : chosen) {
        if (CancelRequested || Recorder == nullptr)
            break;
        if (record.Status == StatusNotDownloaded && ProgramOptions.NonSavedEraseDisable) {
            ShowMessageBox(Lang("RecordNonDownloadedStr")
                               .replace(QStringLiteral("%d"), QString::number(record.Number)),
                           ApplicationTitle(), MB_ICONINFORMATION);
            continue;
        }
        Recorder->EraseSoundFile(record.Number);
        WaitRecorderOperation(Lang("StatusErasingStr") + QLatin1Char(' ') +
                              QString::number(record.Number));
        // A failed erase ends the batch, as a failed exchange does.
        if (!ShowOperationOutcome())
            break;
    }
}

void TfrmQuorvMain::EraseSelectedDriveFiles() {
    if (ShowMessageBox(Lang("ReallyEraseSelFilesStr"), ApplicationTitle(), DestructiveQuestion) !=
        IDYES)
        return;
    CollectSelectedDriveFiles();
    std::vector<TFileListItem> chosen;
    for (int i = 0; i < SelDrvList->Count(); ++i)
        chosen.push_back(SelDrvList->Item(i));
    const std::string shownFolder = ShownDrvList->FilterPath();
    // From the last to the first: a folder's content goes before the folder.
    for (auto it = chosen.rbegin(); it != chosen.rend(); ++it) {
        if (CancelRequested || Recorder == nullptr)
            break;
        std::string relative = TrimBackslashes(it->FolderPath);
        if (!relative.empty())
            relative += '\\';
        relative += it->Name;
        const int index = FindDriveEntry(*Recorder, DriveNameBelow(shownFolder, relative));
        const QString shown = QString::fromStdString(relative);
        if (index < 0) {
            // A folder the recorder keeps only in its files' names went with its content.
            if (it->IsFolder)
                continue;
            PlainBox(Lang("CantOpenStr") + QLatin1Char(' ') + shown);
            continue;
        }
        Recorder->EraseDriveFile(index);
        WaitRecorderOperation(Lang("StatusErasingStr") + QLatin1Char(' ') + shown);
        if (!ShowOperationOutcome())
            break;
        // The indices of the entries after the erased one have moved.
        if (Recorder->IsModified())
            ReadRecordList();
    }
}

void TfrmQuorvMain::actFormatExecute(QObject* sender) {
    if (Recorder == nullptr)
        return;
    if (sender != nullptr &&
        ShowMessageBox(Lang("RecFormatStr"), ApplicationTitle(), DestructiveQuestion) != IDYES)
        return;
    SetUiEnabled(false);
    CancelRequested = false;
    try {
        ShowUploadProgress(Lang("StatusFormatingStr"));
        Recorder->FormatMemory();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        bool cancelSent = false;
        while (Recorder->GetState() != StateIdle) {
            if (CancelRequested && !cancelSent) {
                Recorder->Cancel();
                cancelSent = true;
            }
            SetGauge(Recorder->GetProgress());
            PumpMessages(false);
        }
        SetGauge(100);
        ShowOperationOutcome();
    } catch (const TERecXchange& error) {
        ShowExceptionBox(error);
    }
    SetUiEnabled(true);
}

void TfrmQuorvMain::ShowUploadProgress(const QString& text) {
    ProgressGauge = 0;
    ProgressVisible = true;
    if (Seams.ShowProgress)
        Seams.ShowProgress(text, true);
    SetGauge(0);
}

void TfrmQuorvMain::SetGauge(int percent) {
    ProgressGauge = percent;
    if (Seams.SetProgress)
        Seams.SetProgress(percent);
}

bool TfrmQuorvMain::RecEraseAllowed() const {
    if (ViewFlag != 0)
        return !SelectedRows(lvDrvContent).empty();
    const std::vector<int> rows = SelectedRows(lvRecContent);
    if (rows.empty())
        return false;
    const TRecordItem* first = RecList->GetItem(rows.front());
    return first != nullptr && !first->IsVoicePart();
}
