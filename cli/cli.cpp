#include "cli/cli.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>
#include <thread>

#include "base/fileio.h"
#include "base/paths.h"
#include "catalogue/catalogue.h"
#include "catalogue/iconsource.h"
#include "catalogue/openahead.h"
#include "catalogue/opening.h"
#include "cli/json.h"
#include "export/engine.h"
#include "imagefile/bytereader.h"
#include "imagefile/formats/registry.h"
#include "imagefile/ops/resample.h"

namespace gw {
namespace {

constexpr const char* kProgram = "glyphwright-cli";

constexpr const char* kExitStatus =
    "Exit status:\n"
    "  0  everything asked was done\n"
    "  1  an input could not be read or an output could not be written (one line per\n"
    "     failure on stderr, \"glyphwright-cli: PATH: REASON\"; the other inputs are still\n"
    "     processed)\n"
    "  2  a usage error (nothing is read or written)\n";

// A mistake in the arguments: exit status 2, before anything is written.
struct UsageError {
    std::string Message;
};

// Failures that do not stop the other inputs: one line each on stderr, exit status 1.
class Report {
  public:
    explicit Report(std::ostream& err) : err_(err) {}
    void Fail(const std::string& path, const std::string& reason) {
        err_ << kProgram << ": " << path << ": " << reason << '\n';
        failed_ = true;
    }
    int Status() const { return failed_ ? 1 : 0; }

  private:
    std::ostream& err_;
    bool failed_ = false;
};

const std::map<std::string, ResampleFilter>& FilterNames() {
    static const std::map<std::string, ResampleFilter> names{
        {"none", ResampleFilter::rfNone},         {"triangle", ResampleFilter::rfTriangle},
        {"hermite", ResampleFilter::rfHermite},   {"bell", ResampleFilter::rfBell},
        {"bspline", ResampleFilter::rfBSpline},   {"lanczos3", ResampleFilter::rfLanczos3},
        {"mitchell", ResampleFilter::rfMitchell}, {"nearest", ResampleFilter::rfNearest},
        {"linear", ResampleFilter::rfLinear},     {"fastlinear", ResampleFilter::rfFastLinear},
        {"bilinear", ResampleFilter::rfBilinear}, {"bicubic", ResampleFilter::rfBicubic}};
    return names;
}

// Export format names, in the order of the export dialog's list.
constexpr std::array<const char*, kExportFormatCount> kFormatNames{
    "ico", "bmp", "png", "gif", "jpg", "tif", "psd", "tga", "pcx"};

std::string FormatName(int type) {
    if (type == 0) return "unknown";
    const TIEFileFormatInfo* row = FindFormatByType(type);
    return row ? row->Name : "type " + std::to_string(type);
}

// The reason a file operation failed, without the path the report line already names.
std::string IoReason(const ImageStatus& status) {
    if (status.Code == ImageError::CannotCreateFile && status.Errno == EEXIST)
        return "the file exists (--force replaces it)";
    if (status.Code == ImageError::CannotCreateFile)
        return std::string("cannot create the file: ") + std::strerror(status.Errno);
    if (status.Code == ImageError::CannotOpenFile)
        return std::string("cannot open the file: ") + std::strerror(status.Errno);
    return ImageErrorText(status.Code);
}

// Writes a command's output file atomically; an existing file is kept unless force is given.
void WriteOutput(const std::string& path, std::span<const std::uint8_t> bytes, bool force,
                 Report& report) {
    if (auto written =
            WriteFileAtomic(path, bytes, force ? WriteMode::Replace : WriteMode::NoReplace);
        !written)
        report.Fail(path, IoReason(FromIoFailure(written.error())));
}

bool RefuseExisting(const std::string& path, bool force, Report& report) {
    if (force || !FileExists(path)) return false;
    report.Fail(path, IoReason(ImageStatus(ImageError::CannotCreateFile, EEXIST)));
    return true;
}

// ---- list

void List(const std::vector<std::string>& paths, bool json, std::ostream& out, Report& report) {
    Catalogue catalogue;
    // The next files are read on worker threads while each one is added in turn.
    OpenAhead ahead(paths);
    for (std::size_t i = 0; i < ahead.Count(); ++i) {
        const AddOutcome outcome = AddOpenedFile(catalogue, ahead.Take(i));
        if (outcome.Error != OpenError::None)
            report.Fail(paths[i], AddOutcomeText(outcome, paths[i]));
    }
    if (json) {
        JsonWriter w(out);
        w.BeginObject();
        w.Key("entries");
        w.BeginArray();
        for (int i = 0; i < catalogue.Count(); ++i) {
            const IconEntry& e = catalogue.Entry(i);
            w.BeginObject();
            w.Member("iconNumber", e.IconNumber);
            w.Member("width", catalogue.PictureWidth(i));
            w.Member("height", catalogue.PictureHeight(i));
            w.Member("path", e.SourcePath);
            w.EndObject();
        }
        w.EndArray();
        w.EndObject();
        return;
    }
    for (int i = 0; i < catalogue.Count(); ++i) {
        const IconEntry& e = catalogue.Entry(i);
        out << e.IconNumber << '\t' << catalogue.PictureWidth(i) << 'x'
            << catalogue.PictureHeight(i) << '\t' << e.SourcePath << '\n';
    }
}

// ---- extract

void Extract(const std::string& file, int index, int width, int height, const std::string& outPath,
             bool force, Report& report) {
    if (RefuseExisting(outPath, force, report)) return;
    IconSource source;
    IconSourceError error = source.Open(file);
    std::vector<std::uint8_t> stream;
    if (error == IconSourceError::None) source.Extract(index, width, height, stream, &error);
    if (error != IconSourceError::None) return report.Fail(file, IconSourceErrorText(error));
    WriteOutput(outPath, stream, force, report);
}

void ExtractOriginal(const std::string& file, int index, const std::string& outPath, bool force,
                     Report& report) {
    if (RefuseExisting(outPath, force, report)) return;
    IconSource source;
    IconSourceError error = source.Open(file);
    std::vector<std::uint8_t> ico;
    if (error == IconSourceError::None) error = source.OriginalGroup(index, ico);
    if (error != IconSourceError::None) return report.Fail(file, IconSourceErrorText(error));
    WriteOutput(outPath, ico, force, report);
}

// ---- info

struct ContainerImage {
    int Width = 0;
    int Height = 0;
    int Depth = 0;
    bool Png = false;
    bool Readable = false;
};

// The images an icon or cursor file lists, as their own headers describe them; a cursor's first
// image gives its hot spot.
std::vector<ContainerImage> ContainerImages(std::span<const std::uint8_t> data, int& type,
                                            std::optional<std::pair<int, int>>& hotSpot) {
    std::vector<ContainerImage> images;
    ByteReader r(data);
    const std::uint16_t reserved = r.u16le();
    type = r.u16le();
    const std::uint16_t count = r.u16le();
    if (!r.ok() || reserved != 0 || (type != 1 && type != 2)) {
        type = 0;
        return images;
    }
    for (std::uint32_t i = 0; i < count && r.has(6 + 16 * std::uint64_t{i}, 16); ++i) {
        r.seek(6 + 16 * std::uint64_t{i});
        ContainerImage image;
        image.Width = r.u8();
        image.Height = r.u8();
        r.seek(r.pos() + 2);
        const std::uint16_t planes = r.u16le(), bitCount = r.u16le();
        if (type == 2 && i == 0) hotSpot = std::make_pair(int{planes}, int{bitCount});
        const std::uint32_t size = r.u32le(), offset = r.u32le();
        if (image.Width == 0) image.Width = 256;
        if (image.Height == 0) image.Height = 256;
        IconImageInfo info;
        const auto bytes =
            offset < data.size()
                ? data.subspan(offset, std::min<std::uint64_t>(size, data.size() - offset))
                : std::span<const std::uint8_t>();
        if (ProbeIconImage(bytes, info)) {
            image = {info.Width, info.Height, info.BitCount, info.Png, true};
        }
        images.push_back(image);
    }
    return images;
}

struct InfoRecord {
    std::string File, Format, ExtensionFormat;
    std::optional<int> Icons;
    bool Picture = false;
    int Width = 0, Height = 0, Depth = 0;
    bool Alpha = false;
    std::optional<std::pair<int, int>> HotSpot;
    std::vector<ContainerImage> Images;
};

std::optional<InfoRecord> Describe(const std::string& file, Report& report) {
    if (!FileExists(file)) {
        report.Fail(file, "no such file");
        return std::nullopt;
    }
    auto bytes = ReadFileBytes(file);
    if (!bytes) {
        report.Fail(file, IoReason(FromIoFailure(bytes.error())));
        return std::nullopt;
    }
    const std::span<const std::uint8_t> data(bytes->data(), bytes->size());
    InfoRecord rec;
    rec.File = file;
    rec.Format = FormatName(DetectImageFormat(data));
    const TIEFileFormatInfo* byName = FindFormatByExtension(file);
    rec.ExtensionFormat = byName ? byName->Name : "unknown";

    const bool iconSource = IsIconSourceFile(file);
    if (iconSource) {
        IconSource source;
        if (const IconSourceError e = source.Open(file); e != IconSourceError::None) {
            report.Fail(file, IconSourceErrorText(e));
            return std::nullopt;
        }
        rec.Icons = source.Count();
    }
    int containerType = 0;
    rec.Images = ContainerImages(data, containerType, rec.HotSpot);

    // The picture's header is enough: nothing is decoded.
    const auto header = ReadImageInfo(data, file);
    if (header) {
        rec.Picture = true;
        rec.Width = header->Width;
        rec.Height = header->Height;
        rec.Depth = header->ChannelCount * header->BitsPerChannel;
        rec.Alpha = header->HasAlpha;
    } else if (!iconSource) {
        // An executable has no picture of its own; its icons are counted above.
        report.Fail(file, ImageErrorText(header.error()));
        return std::nullopt;
    }
    return rec;
}

void PrintInfo(const InfoRecord& rec, std::ostream& out) {
    out << "file: " << rec.File << '\n';
    out << "format: " << rec.Format << '\n';
    out << "extension format: " << rec.ExtensionFormat << '\n';
    if (rec.Icons) out << "icons: " << *rec.Icons << '\n';
    if (rec.Picture) {
        out << "width: " << rec.Width << '\n';
        out << "height: " << rec.Height << '\n';
        out << "depth: " << rec.Depth << '\n';
        out << "alpha: " << (rec.Alpha ? "yes" : "no") << '\n';
    }
    if (rec.HotSpot)
        out << "hot spot: " << rec.HotSpot->first << ',' << rec.HotSpot->second << '\n';
    for (std::size_t i = 0; i < rec.Images.size(); ++i) {
        const ContainerImage& im = rec.Images[i];
        out << "image " << i << ": " << im.Width << 'x' << im.Height;
        if (im.Readable)
            out << ", " << im.Depth << " bits, " << (im.Png ? "PNG" : "bitmap") << '\n';
        else
            out << ", damaged\n";
    }
}

void WriteInfoJson(const InfoRecord& rec, JsonWriter& w) {
    w.BeginObject();
    w.Member("file", rec.File);
    w.Member("format", rec.Format);
    w.Member("extensionFormat", rec.ExtensionFormat);
    if (rec.Icons) w.Member("icons", *rec.Icons);
    if (rec.Picture) {
        w.Member("width", rec.Width);
        w.Member("height", rec.Height);
        w.Member("depth", rec.Depth);
        w.Member("alpha", rec.Alpha);
    }
    if (rec.HotSpot) {
        w.Key("hotSpot");
        w.BeginObject();
        w.Member("x", rec.HotSpot->first);
        w.Member("y", rec.HotSpot->second);
        w.EndObject();
    }
    if (!rec.Images.empty()) {
        w.Key("images");
        w.BeginArray();
        for (const ContainerImage& im : rec.Images) {
            w.BeginObject();
            w.Member("width", im.Width);
            w.Member("height", im.Height);
            if (im.Readable) {
                w.Member("depth", im.Depth);
                w.Member("png", im.Png);
            }
            w.Member("readable", im.Readable);
            w.EndObject();
        }
        w.EndArray();
    }
    w.EndObject();
}

void Info(const std::vector<std::string>& files, bool json, std::ostream& out, Report& report) {
    std::vector<InfoRecord> records;
    for (const std::string& file : files)
        if (auto rec = Describe(file, report)) records.push_back(std::move(*rec));
    if (json) {
        JsonWriter w(out);
        w.BeginArray();
        for (const InfoRecord& rec : records) WriteInfoJson(rec, w);
        w.EndArray();
        return;
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (i > 0) out << '\n';
        PrintInfo(records[i], out);
    }
}

// ---- convert

void Convert(const std::string& in, const std::string& outPath, const std::string& size,
             ResampleFilter filter, bool force, Report& report) {
    int w = 0, h = 0;
    if (!size.empty()) {
        char x = 0;
        std::istringstream s(size);
        if (!(s >> w >> x >> h) || (x != 'x' && x != 'X') || w < 1 || h < 1 || !s.eof())
            throw UsageError{"--size: expected WIDTHxHEIGHT, for example 64x64"};
    }
    if (RefuseExisting(outPath, force, report)) return;
    ImageHolder holder;
    const ImageStatus read = LoadImageFile(holder, in);
    if (!read.ok() || holder.Image.Empty())
        return report.Fail(in, read.ok() ? std::string("the picture is empty") : IoReason(read));
    if (!size.empty()) ResampleImage(holder, w, h, filter);
    const ImageStatus written =
        SaveImageFile(holder, outPath, force ? WriteMode::Replace : WriteMode::NoReplace);
    if (written.Code == ImageError::NoWriter || written.Code == ImageError::CannotEncode)
        return report.Fail(outPath, "cannot be written in the format its extension names");
    if (!written.ok()) report.Fail(outPath, IoReason(written));
}

// ---- export

// Entries done of total, rate and time left, redrawn in place on a terminal.
class ProgressBar {
  public:
    ProgressBar(std::ostream& err, bool shown, std::size_t total)
        : err_(err),
          shown_(shown && total > 0),
          total_(total),
          start_(std::chrono::steady_clock::now()) {
        if (shown_) Draw(0);
    }
    ~ProgressBar() {
        if (shown_) err_ << "\r\033[K" << std::flush;
    }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Draw(std::size_t done) {
        if (!shown_) return;
        constexpr std::size_t kWidth = 30;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
        const std::size_t filled = done * kWidth / total_;
        std::ostringstream line;
        line << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, '.') << "] "
             << done << '/' << total_;
        if (done > 0 && rate > 0) {
            const long left = static_cast<long>(static_cast<double>(total_ - done) / rate + 0.5);
            line.setf(std::ios::fixed);
            line.precision(1);
            line << "  " << rate << " entries/s  " << left / 60 << ':'
                 << (left % 60 < 10 ? "0" : "") << left % 60 << " left";
        }
        err_ << line.str() << "\033[K" << std::flush;
    }

  private:
    std::ostream& err_;
    bool shown_;
    std::size_t total_;
    std::chrono::steady_clock::time_point start_;
};

struct ExportArgs {
    std::vector<std::string> Files;
    std::string Format = "ico";
    std::string Sizes = "16,32,48,256";
    int Width = 128;
    int Height = 128;
    bool Transparent = false;
    std::string GradualColor = "#FFFFFF";
    std::string Output;
    int Jobs = 0;
    bool Quiet = false;
    int PngFrom = 0;
    std::string Depths;
};

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::string item;
    std::istringstream s(text);
    while (std::getline(s, item, ','))
        if (!item.empty()) items.push_back(item);
    return items;
}

std::optional<int> WholeNumber(const std::string& text) {
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stoi(text);
}

// "#RRGGBB" as a colour value: red in the low byte, blue in the high one.
int ParseColour(const std::string& text) {
    const std::string hex = !text.empty() && text[0] == '#' ? text.substr(1) : text;
    if (hex.size() != 6 || !std::all_of(hex.begin(), hex.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
        }))
        throw UsageError{"--gradual-color: expected #RRGGBB, for example #FFFFFF"};
    const long rgb = std::stol(hex, nullptr, 16);
    return static_cast<int>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
}

// The export dialog's checks and the option values, before anything is read or written.
std::pair<ExportOptions, IconWriteOptions> ExportSettings(const ExportArgs& a) {
    ExportOptions options;
    IconWriteOptions icon;
    const auto format = std::find(kFormatNames.begin(), kFormatNames.end(), a.Format);
    if (format == kFormatNames.end())
        throw UsageError{"--format: unknown format \"" + a.Format +
                         "\" (ico, bmp, png, gif, jpg, tif, psd, tga or pcx)"};
    options.Format = static_cast<int>(format - kFormatNames.begin());
    const bool ico = options.Format == kExportIco;

    std::string rows(IconSizes.size(), '0');
    for (const std::string& item : SplitList(a.Sizes)) {
        const std::optional<int> size = WholeNumber(item);
        const auto row =
            size ? std::find(IconSizes.begin(), IconSizes.end(), *size) : IconSizes.end();
        if (row == IconSizes.end())
            throw UsageError{"--sizes: unknown size \"" + item +
                             "\" (16, 24, 32, 48, 64, 72, 96, 128 or 256)"};
        rows[static_cast<std::size_t>(row - IconSizes.begin())] = '1';
    }
    options.Size = rows;
    if (ico && rows.find('1') == std::string::npos) throw UsageError{"--sizes: no size is chosen"};
    if (!ico && (a.Width < 1 || a.Height < 1 || a.Width > 10000 || a.Height > 10000))
        throw UsageError{"--width and --height: from 1 to 10000 pixels"};
    options.Width = a.Width;
    options.Height = a.Height;
    options.Transparent = a.Transparent;
    options.GradualColor = ParseColour(a.GradualColor);
    if (!FolderExists(a.Output)) throw UsageError{"--output: no folder \"" + a.Output + "\""};
    options.SavePath = a.Output;

    if (!ico && (a.PngFrom != 0 || !a.Depths.empty()))
        throw UsageError{"--png-from and --depths: only with --format ico"};
    if (a.PngFrom < 0 || a.PngFrom > 256) throw UsageError{"--png-from: from 1 to 256"};
    icon.PngFrom = a.PngFrom;
    for (const std::string& item : SplitList(a.Depths)) {
        const std::optional<int> depth = WholeNumber(item);
        if (!depth || (*depth != 4 && *depth != 8 && *depth != 24 && *depth != 32))
            throw UsageError{"--depths: unknown depth \"" + item + "\" (4, 8, 24 or 32)"};
        icon.ExtraDepths.push_back(*depth);
    }
    if (a.Jobs < 0) throw UsageError{"--jobs: at least 1"};
    return {options, icon};
}

void Export(const ExportArgs& args, std::ostream& out, std::ostream& err, bool terminal,
            Report& report) {
    const auto [options, icon] = ExportSettings(args);
    const int jobs = args.Jobs > 0
                         ? args.Jobs
                         : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));

    // File by file, so that only one file's thumbnails are held at a time.
    ExportRequest request;
    for (const std::string& path : args.Files) {
        Catalogue catalogue;
        const AddOutcome outcome = AddSourceFile(catalogue, path);
        if (outcome.Error != OpenError::None) report.Fail(path, AddOutcomeText(outcome, path));
        ExportRequest added = GatherEntries(catalogue, true);
        request.Files.insert(request.Files.end(), added.Files.begin(), added.Files.end());
        request.Indexes.insert(request.Indexes.end(), added.Indexes.begin(), added.Indexes.end());
    }
    const ExportRun run(options, {}, icon);
    ProgressBar bar(err, terminal && !args.Quiet, request.Files.size());
    ExportEntriesInParallel(request, run, jobs, [&](std::size_t i, const EntryResult& result) {
        if (!result.Encoded.Produced)
            report.Fail(request.Files[i], result.Encoded.Failure);
        else if (!result.Written.ok())
            report.Fail(result.Name, IoReason(result.Written));
        else
            out << result.Name << '\n' << std::flush;
        bar.Draw(i + 1);
    });
}

std::string Examples(std::initializer_list<const char*> lines) {
    std::string text = "Examples:\n";
    for (const char* line : lines) text += std::string("  ") + line + '\n';
    return text + '\n' + kExitStatus;
}

}  // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{
        "Glyphwright on the command line: list, extract, inspect, convert and export icons and "
        "pictures.",
        kProgram};
    app.set_version_flag("--version", std::string(kProgram) + " " + GW_VERSION);
    app.require_subcommand(1);
    app.footer(Examples({"glyphwright-cli list app.exe",
                         "glyphwright-cli export -o icons/ -s 16,32,48,256 --png-from 256 app.exe",
                         "glyphwright-cli SUBCOMMAND --help"}));

    std::vector<std::string> listPaths;
    bool listJson = false;
    CLI::App* list = app.add_subcommand(
        "list",
        "Print the entries that opening these files would add, as \"Open files\" adds them: "
        "icon number, picture width x height, source path (tab-separated).");
    list->add_option("FILE", listPaths, "Files to open")->required();
    list->add_flag("--json", listJson,
                   "One JSON document: {\"entries\": [{\"iconNumber\", \"width\", \"height\", "
                   "\"path\"}]}");
    list->footer(Examples({"glyphwright-cli list shell32.dll",
                           "glyphwright-cli list --json *.ico | jq '.entries | length'"}));

    std::string exFile, exOut;
    int exIndex = 0;
    std::vector<std::string> exRest;
    bool exOriginal = false, exForce = false;
    CLI::App* extract = app.add_subcommand(
        "extract",
        "Write icon INDEX (from 0) of FILE rendered at WIDTH x HEIGHT as a one-image icon file "
        "OUT; with --original, write icon group INDEX as it is stored (every image byte for "
        "byte) as a multi-image icon file OUT.");
    extract->add_option("FILE", exFile, "Executable, library, icon library or icon file")
        ->required();
    extract->add_option("INDEX", exIndex, "Icon index, from 0")
        ->required()
        ->check(CLI::NonNegativeNumber);
    extract->add_option("ARGS", exRest, "WIDTH HEIGHT OUT (1 to 256 pixels); with --original: OUT")
        ->required()
        ->type_name("");
    extract->add_flag("--original", exOriginal,
                      "Write the icon group as stored, without rendering");
    extract->add_flag("--force", exForce, "Replace OUT when it exists (default: refuse)");
    extract->footer(Examples({"glyphwright-cli extract app.exe 0 48 48 app48.ico",
                              "glyphwright-cli extract --original shell32.dll 3 folder.ico"}));

    std::vector<std::string> infoFiles;
    bool infoJson = false;
    CLI::App* info = app.add_subcommand(
        "info",
        "Describe files: detected format, the format the extension names, size, depth, alpha, "
        "icon count, a cursor's hot spot, and every image of an icon or cursor file.");
    info->add_option("FILE", infoFiles, "Files to inspect")->required();
    info->add_flag("--json", infoJson,
                   "One JSON document: an array with one object per file, numbers as numbers");
    info->footer(Examples({"glyphwright-cli info app.ico", "glyphwright-cli info --json *.cur"}));

    std::string cvIn, cvOut, cvSize, cvFilter = "hermite";
    bool cvForce = false;
    CLI::App* convert = app.add_subcommand(
        "convert",
        "Read IN with the reader its extension names, resize it when --size is given, write OUT "
        "in the format its extension names.");
    convert->add_option("IN", cvIn, "Input picture")->required();
    convert->add_option("OUT", cvOut, "Output picture")->required();
    convert->add_option("--size", cvSize, "New size as WIDTHxHEIGHT (default: keep the size)")
        ->type_name("WxH");
    std::vector<std::string> filterChoices;
    for (const auto& [name, value] : FilterNames()) filterChoices.push_back(name);
    convert->add_option("--filter", cvFilter, "Resampling filter (default hermite)")
        ->check(CLI::IsMember(filterChoices));
    convert->add_flag("--force", cvForce, "Replace OUT when it exists (default: refuse)");
    convert->footer(
        Examples({"glyphwright-cli convert photo.jpg photo.png",
                  "glyphwright-cli convert --size 64x64 --filter lanczos3 a.png b.bmp"}));

    ExportArgs ex;
    CLI::App* exportCmd = app.add_subcommand(
        "export",
        "Add the entries of FILE... as \"Open files\" does and export all of them as \"Export "
        "all\" does: one multi-size icon file or one picture per entry in FOLDER, named after "
        "the source with its icon number, never over an existing file. Prints each file "
        "written, one a line, in entry order.");
    exportCmd->add_option("FILE", ex.Files, "Executables, libraries, icon files and pictures")
        ->required();
    exportCmd->add_option("-o,--output", ex.Output, "Output folder; it must exist")
        ->required()
        ->type_name("FOLDER");
    exportCmd
        ->add_option("-f,--format", ex.Format,
                     "ico, bmp, png, gif, jpg, tif, psd, tga or pcx (default ico)")
        ->type_name("FORMAT");
    exportCmd
        ->add_option("-s,--sizes", ex.Sizes,
                     "Icon sizes, comma-separated, of 16,24,32,48,64,72,96,128,256 "
                     "(default 16,32,48,256)")
        ->type_name("LIST");
    exportCmd
        ->add_option("-W,--width", ex.Width, "Picture width for the picture formats (default 128)")
        ->type_name("N");
    exportCmd
        ->add_option("-H,--height", ex.Height,
                     "Picture height for the picture formats (default 128)")
        ->type_name("N");
    exportCmd->add_flag("-t,--transparent", ex.Transparent,
                        "ICO: make every pixel of the picture's bottom-left colour transparent");
    exportCmd
        ->add_option("-c,--gradual-color", ex.GradualColor,
                     "ICO: colour of the transparent pixels that tints soft edges "
                     "(default #FFFFFF)")
        ->type_name("#RRGGBB");
    exportCmd
        ->add_option("-j,--jobs", ex.Jobs,
                     "Entries exported in parallel (default: the number of processors); "
                     "the files are the same for every number")
        ->type_name("N");
    exportCmd->add_flag("-q,--quiet", ex.Quiet, "No progress bar on a terminal");
    exportCmd
        ->add_option("--png-from", ex.PngFrom,
                     "ICO: store sizes of N and more as PNG images (default: none)")
        ->type_name("N");
    exportCmd
        ->add_option("--depths", ex.Depths,
                     "ICO: also write each size at these depths, of 4,8,24,32, through the "
                     "colour reduction (default: none)")
        ->type_name("LIST");
    exportCmd->footer(Examples(
        {"glyphwright-cli export -o out/ app.exe",
         "glyphwright-cli export -o out/ -s 16,24,32,48,256 --png-from 256 --depths 8,4 app.exe",
         "glyphwright-cli export -o out/ -f png -W 64 -H 64 -j 1 pictures/*.jpg"}));

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::CallForVersion& e) {
        out << e.what() << '\n';
        return 0;
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            out << app.help();
            return 0;
        }
        err << kProgram << ": " << e.what() << '\n';
        err << "Run with --help for more information.\n";
        return 2;
    }

    Report report(err);
    const bool terminal = &err == &std::cerr && ::isatty(STDERR_FILENO) == 1;
    try {
        if (*list) List(listPaths, listJson, out, report);
        if (*extract) {
            if (exOriginal && exRest.size() == 1)
                ExtractOriginal(exFile, exIndex, exRest[0], exForce, report);
            else if (!exOriginal && exRest.size() == 3) {
                const std::optional<int> w = WholeNumber(exRest[0]), h = WholeNumber(exRest[1]);
                if (!w || !h || *w < 1 || *h < 1 || *w > kMaxRenderSize || *h > kMaxRenderSize)
                    throw UsageError{"WIDTH and HEIGHT: from 1 to 256 pixels"};
                Extract(exFile, exIndex, *w, *h, exRest[2], exForce, report);
            } else {
                throw UsageError{exOriginal ? "extract --original: expected FILE INDEX OUT"
                                            : "extract: expected FILE INDEX WIDTH HEIGHT OUT"};
            }
        }
        if (*info) Info(infoFiles, infoJson, out, report);
        if (*convert) Convert(cvIn, cvOut, cvSize, FilterNames().at(cvFilter), cvForce, report);
        if (*exportCmd) Export(ex, out, err, terminal, report);
    } catch (const UsageError& e) {
        err << kProgram << ": " << e.Message << '\n';
        err << "Run with --help for more information.\n";
        return 2;
    } catch (const std::exception& e) {
        err << kProgram << ": " << e.what() << '\n';
        return 1;
    }
    return report.Status();
}

}  // namespace gw
