#include "output/job.h"

#include "app/document.h"
#include "app/settings_file.h"
#include "app/startup.h"
#include "output/create_avi.h"
#include "output/export.h"
#include "platform/host.h"
#include "platform/paths.h"

namespace zr {

JobResult RunUnattendedJob(Host& host, const std::string& ini, const AVICOMPRESSOPTIONS& options) {
  if (!FileExists(ini)) return JobResult::CannotRead;
  // The job file is the whole store of the run: the document's store starts empty.
  CTorvexerDoc doc;
  doc.AttachHost(host);
  doc.sIniFile = ini;
  ViewSettings view;
  StartupResult start = FirstPaintStartup(doc, view);
  doc.SetUnattended(true);
  if (!start.settingsLoaded) return JobResult::CannotRead;
  if (start.job.output.empty()) return JobResult::NoOutput;
  const std::string& out = start.job.output;
  bool made = IsExportPath(out) ? ExportProject(host, doc, out, {}) : CreateAvi(host, doc, out, options);
  // As at the program's exit: the store reaches the file only when something changed.
  // A store that cannot be written back has told why and fails the job.
  const bool stored = SaveSettingsAtExit(doc.settings());
  return made && stored ? JobResult::Made : JobResult::Failed;
}

}  // namespace zr
