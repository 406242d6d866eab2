// The unattended job: a settings file that names its images, rate, depth, sound, logo and
// output AVI, run without windows (no preview at the end).
#pragma once

#include <string>

#include "platform/avifile/avifile.h"

namespace zr {

class Host;

enum class JobResult { Made, Failed, CannotRead, NoOutput };

// `ini` becomes the settings file of the run (not merged with Zerarive.ini); the job runs
// whether or not "Auto" is set; the file is written back only when a setting changed.
// Messages go to the Host.
JobResult RunUnattendedJob(Host& host, const std::string& ini, const AVICOMPRESSOPTIONS& options);

}  // namespace zr
