// The AVI tools' commands of the main window: ask, call the core, show.
#include <QPushButton>

#include "app/settings_file.h"
#include "app/settings_keys.h"
#include "gui/convert_dialog.h"
#include "gui/long_work.h"
#include "gui/main_frame.h"
#include "gui/tool_dialogs.h"
#include "output/create_avi.h"
#include "output/extract.h"
#include "output/morph.h"
#include "output/quick_avi.h"
#include "platform/host.h"

namespace zr {

CConvertProgressDlg* CMainFrame::convertProgress() {
  if (!convertProgress_) {
    convertProgress_ = new CConvertProgressDlg(this);
    convertProgress_->showAnimation = [this](const std::string& path) { ShowAnimation(path); };
  }
  return convertProgress_;
}

void CMainFrame::OnMpgConverter() {
  ConvertAviDialog dialog(doc_.settings(), this);
  if (dialog.exec() != QDialog::Accepted || dialog.files().empty()) return;
  CConvertProgressDlg& window = *convertProgress();
  ProgressWindowSink<CConvertProgressDlg> sink(window, &doc_.host());
  doc_.settings().WriteString(kSectionConverter, kKeyHighQuality, dialog.highQuality() ? "1" : "0");
  int converted;
  {
    LongWork work(*this);
    work.AddWindow(&window, window.cancelButton());
    converted = mpeg::ConvertBatch(dialog.files(), dialog.outputFolder(), dialog.extension(), sink,
                                   2, dialog.highQuality());
    if (work.cancelled()) window.NoteCancelled();
  }
  ShowConversionFailures(doc_.host(), dialog.files().size(), converted, sink.failureDetails());
}

void CMainFrame::OnQuickAviCreate() {
  CQuickAviDlg dialog(doc_.settings(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  std::string output = ChooseAviFile(doc_.host(), doc_, true, false);
  if (output.empty()) return;
  QuickAviRequest request;
  request.folder = dialog.folder();
  request.sound = dialog.soundFile();
  request.output = output;
  request.fps = doc_.ReadFpsFromPanel();
  request.bpp = doc_.nBpp;
  request.options = aviCompressOptions_;
  request.applyLogo = [this](CBmp& image) { doc_.ApplyLogo(image); };
  request.programFolder = doc_.programFolder();
  bool made;
  {
    LongWork work(*this, tr("Quick AVI Create"));
    made = QuickAviCreate(doc_.host(), request);
  }
  if (made) ShowAnimation(output);
}

void CMainFrame::OnExtractImages() {
  std::string path = ChooseAviFile(doc_.host(), doc_, false, false);
  if (path.empty()) return;
  const std::string folder = SamplesFolder(doc_.programFolder());
  const std::vector<std::string> existing = SampleFilesToReplace(folder);
  if (!existing.empty() && !doc_.host().AskYesNo(ReplaceQuestion(existing.size(), folder, true)))
    return;
  CExtractProgressDlg progress(this);
  LongWork work(*this);
  work.AddWindow(&progress, progress.cancelButton());
  ExtractImagesResult result = ExtractImages(doc_.host(), path, folder, progress, folder);
  if (!result.summary.empty()) SetStatusText(result.summary);
}

void CMainFrame::OnExtractSounds() {
  std::string avi = ChooseAviFile(doc_.host(), doc_, false, false);
  if (avi.empty()) return;
  std::string sound = ChooseAviFile(doc_.host(), doc_, true, true);
  if (sound.empty()) return;
  bool ok;
  {
    LongWork work(*this, tr("Extracting sound"));
    ok = ExtractSound(doc_.host(), avi, sound);
    if (ok) SetStatusText("Sound written to " + sound);
  }
  if (ok) doc_.host().Message("Sound file extracted", {}, MessageKind::Information);
}

void CMainFrame::OnMorphing() {
  CMorphDlg dialog(doc_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  MorphResult result;
  {
    LongWork work(*this, tr("Morphing"));
    result = MakeMorphImages(doc_.host(), &doc_, dialog.fromPath(), dialog.toPath(), dialog.folder(),
                             dialog.steps(), dialog.start());
    if (!result.summary.empty()) SetStatusText(result.summary);
  }
  if (!result.ok) return;
  int outcome = dialog.outcome();
  if (outcome == 0) {
    // A new animation discards the current one: ask first, as File > New does.
    if (!doc_.SaveModified([this] { return ChooseProjectSavePath(); })) return;
    doc_.NewProject();
    UpdateTitle();
  }
  if (outcome != 2) {
    AddMorphImagesToProject(doc_, result.names, 1);
    RecordChange(tr("Add Morph Images"));
  }
}

}  // namespace zr
