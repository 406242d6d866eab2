// zerarive-cli convert: AVI files to MPEG-1 system streams, several at once if asked.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/command.h"
#include "mpeg/engine.h"
#include "platform/host.h"
#include "platform/paths.h"

namespace zr::cli {

namespace {

// Serialises the jobs' log lines and the shared progress bar.
class BatchOutput {
 public:
  BatchOutput(Host& host, size_t files, bool prefix)
      : host_(host), percent_(files, 0), prefix_(prefix) {
    host_.BeginProgress("Converting", int64_t(files) * 100);
  }
  ~BatchOutput() { host_.EndProgress(); }

  void Line(const std::string& file, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (prefix_) std::printf("%s: %s\n", file.c_str(), text.c_str());
    else std::printf("%s\n", text.c_str());
    std::fflush(stdout);
  }
  // The precise reason a file was abandoned: stderr, beside the log's own line.
  void Detail(const std::string& file, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::fprintf(stderr, "%s: %s\n", file.c_str(), text.c_str());
  }
  void Plain(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
  }
  void Alert(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    host_.Message(text);
  }
  bool CancelRequested() { return host_.CancelRequested(); }
  void Progress(size_t file, int percent) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (percent_[file] == percent) return;
    percent_[file] = percent;
    int64_t sum = 0;
    for (int p : percent_) sum += p;
    host_.UpdateProgress(sum);
  }

 private:
  Host& host_;
  std::mutex mutex_;
  std::vector<int> percent_;
  bool prefix_;
};

class JobLog : public mpeg::ConvertLog {
 public:
  JobLog(BatchOutput& out, std::string file) : out_(out), file_(std::move(file)) {}
  void Line(const std::string& text) override { out_.Line(file_, text); }
  // SIGINT or SIGTERM: the engine stops and removes this file's temporaries.
  bool CancelRequested() override { return out_.CancelRequested(); }
  void Alert(const std::string& text) override { out_.Alert(text); }

 private:
  BatchOutput& out_;
  std::string file_;
};

// One file's share of the work, by stage: the video dominates the time.
int OverallPercent(mpeg::ConvertStage stage, int percent) {
  percent = std::clamp(percent, 0, 100);
  switch (stage) {
    case mpeg::ConvertStage::Opening: return 0;
    case mpeg::ConvertStage::Video: return percent * 80 / 100;
    case mpeg::ConvertStage::Audio: return 80 + percent * 15 / 100;
    case mpeg::ConvertStage::Multiplex: return 95;
    case mpeg::ConvertStage::Done: return 100;
  }
  return 0;
}

int RunConvert(const std::vector<std::string>& args) {
  Options opts(args, {"jobs", "threads", "out", "ext", "quality"});
  if (!opts.ok()) return Fail(opts.error());
  long long jobs = 1, threads = 2;
  if (opts.has("jobs") && (!ParseInt(opts.value("jobs"), jobs) || jobs < 1 || jobs > 64))
    return Fail("--jobs needs a whole number from 1 to 64");
  if (opts.has("threads") && (!ParseInt(opts.value("threads"), threads) || threads < 1 || threads > 64))
    return Fail("--threads needs a whole number from 1 to 64");
  bool highQuality = false;
  if (!ParseQuality(opts.value("quality", "default"), highQuality))
    return Fail("--quality must be default or high");
  std::string ext = opts.value("ext", "mpg");
  if (ext != "mpg" && ext != "mpeg") return Fail("--ext must be mpg or mpeg");
  ext = "." + ext;
  const std::vector<std::string>& inputs = opts.positional();
  if (inputs.empty()) return Fail("convert needs at least one IN.avi (see --help)");
  std::string folder = opts.value("out");
  if (!folder.empty() && !MakeFolders(folder)) return Fail("cannot create the folder " + folder);

  // Two inputs of one title would write one output; keep the first, refuse the others,
  // so nothing is overwritten and the result never depends on which job ends last.
  std::vector<std::string> outputs;
  std::vector<bool> refused(inputs.size(), false);
  std::map<std::string, std::string> owner;
  for (size_t i = 0; i < inputs.size(); ++i) {
    outputs.push_back(mpeg::BatchOutputPath(inputs[i], folder, ext));
    auto [it, fresh] = owner.emplace(outputs.back(), inputs[i]);
    refused[i] = !fresh;
  }

  TerminalHost host(true);
  BatchOutput out(host, inputs.size(), jobs > 1 && inputs.size() > 1);
  out.Plain("Starting MPG engine...");
  std::vector<char> converted(inputs.size(), 0);
  std::atomic<size_t> next{0};
  auto worker = [&]() {
    for (size_t i; (i = next.fetch_add(1)) < inputs.size();) {
      if (out.CancelRequested()) break;  // the rest are skipped
      const std::string name = PathFileName(inputs[i]);
      JobLog log(out, name);
      if (refused[i]) {
        log.Line("Error: " + inputs[i] + " would overwrite the output of " + owner.at(outputs[i]) +
                 " (" + outputs[i] + "); skipped");
        out.Progress(i, 100);
        continue;
      }
      mpeg::MpgEngine engine(log, int(threads), highQuality);
      engine.SetStageHook([&, i](mpeg::ConvertStage stage, int percent) {
        out.Progress(i, OverallPercent(stage, percent));
      });
      converted[i] = engine.Convert(inputs[i], outputs[i]);
      if (!converted[i] && !engine.failureDetail().empty())
        out.Detail(name, engine.failureDetail());
      out.Progress(i, 100);
    }
  };
  size_t workers = std::min<size_t>(size_t(jobs), inputs.size());
  if (workers <= 1) {
    worker();
  } else {
    std::vector<std::thread> pool;
    for (size_t w = 0; w < workers; ++w) pool.emplace_back(worker);
    for (auto& t : pool) t.join();
  }
  out.Plain("MPG engine closed");
  size_t ok = size_t(std::count(converted.begin(), converted.end(), 1));
  if (ok != inputs.size()) {
    std::fprintf(stderr, "zerarive-cli: %zu of %zu files not converted\n", inputs.size() - ok,
                 inputs.size());
    return 1;
  }
  return 0;
}

CliRegistrar reg(
    {"convert", "convert AVI files to MPEG-1 system streams (.mpg)",
     "Usage: zerarive-cli convert [--jobs N] [--threads N] [--out DIR] [--ext mpg|mpeg]\n"
     "                     [--quality default|high] IN.avi...\n"
     "Converts each AVI file, in argument order, into an MPEG-1 system stream with our own\n"
     "video encoder, layer II audio encoder (128 kbit/s) and multiplexer. An AVI without\n"
     "usable sound becomes a bare MPEG-1 video stream under the same name.\n\n"
     "  --out DIR     write the outputs into DIR (created if missing); default: beside\n"
     "                each input\n"
     "  --ext EXT     mpg (default) or mpeg\n"
     "  --jobs N      convert up to N files at once (default 1); every output is\n"
     "                byte-identical to a one-job run\n"
     "  --threads N   motion-search threads per file (default 2; 1 = one thread); the\n"
     "                output is the same either way\n"
     "  --quality Q   default, or high: slower (at most twice the time), better pictures\n"
     "                at the same bit rate, a 40 KB buffer that never runs over\n\n"
     "The conversion log goes to standard output, each line prefixed by its file when\n"
     "several jobs run; an overall progress bar goes to standard error on a terminal.\n"
     "Outputs are written under a temporary name and renamed when complete. Exit status 0\n"
     "when every file converted.\n",
     RunConvert});

}  // namespace

}  // namespace zr::cli
