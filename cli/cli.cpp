#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <map>
#include <ostream>
#include <sstream>

#include "base/fileio.h"
#include "base/paths.h"
#include "catalogue/catalogue.h"
#include "catalogue/iconsource.h"
#include "catalogue/opening.h"
#include "export/naming.h"
#include "imagefile/formats/registry.h"
#include "imagefile/ops/resample.h"

namespace gw {
namespace {

constexpr const char* kProgram = "glyphwright-cli";

// An error that ends the work: exit status 1.
struct WorkError {
    std::string Message;
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

std::string FormatName(int type) {
    if (type == 0) return "unknown";
    const TIEFileFormatInfo* row = FindFormatByType(type);
    return row ? row->Name : "type " + std::to_string(type);
}

int DeclaredDepth(const FileParams& p) {
    return p.ChannelCount * p.BitsPerChannel;
}

void List(const std::vector<std::string>& paths, std::ostream& out) {
    Catalogue catalogue;
    for (const std::string& path : paths) AddSourceFile(catalogue, path);
    for (int i = 0; i < catalogue.Count(); ++i) {
        const IconEntry& e = catalogue.Entry(i);
        out << e.IconNumber << '\t' << catalogue.PictureWidth(i) << 'x'
            << catalogue.PictureHeight(i) << '\t' << e.SourcePath << '\n';
    }
}

void Extract(const std::string& file, int index, int width, int height,
             const std::string& outPath) {
    std::vector<std::uint8_t> stream;
    if (!ExtractIconImage(file, index, width, height, stream))
        throw WorkError{"cannot extract icon " + std::to_string(index) + " of \"" + file +
                        "\" at " + std::to_string(width) + "x" + std::to_string(height)};
    WriteWholeFile(outPath, stream.data(), stream.size());
}

void Info(const std::string& file, std::ostream& out) {
    if (!FileExists(file)) throw WorkError{"\"" + file + "\" is not a file"};
    std::vector<unsigned char> data = ReadWholeFile(file);
    const TIEFileFormatInfo* byName = FindFormatByExtension(file);
    out << "file: " << file << '\n';
    out << "format: "
        << FormatName(DetectImageFormat(std::span<const std::uint8_t>(data.data(), data.size())))
        << '\n';
    out << "extension format: " << (byName ? byName->Name : "unknown") << '\n';
    const bool iconSource = IsIconSourceFile(file);
    if (iconSource) out << "icons: " << CountIcons(file) << '\n';
    ImageHolder holder;
    const ImageStatus read = LoadPictureFromFile(holder, file);
    if (!read.ok() || holder.Image.Empty()) {
        // An executable has no picture of its own; its icons are counted above.
        if (!iconSource) out << "picture: undecodable\n";
        return;
    }
    out << "width: " << holder.Image.Width() << '\n';
    out << "height: " << holder.Image.Height() << '\n';
    out << "depth: " << DeclaredDepth(holder.Params) << '\n';
    out << "alpha: " << (holder.Image.HasAlpha() ? "yes" : "no") << '\n';
}

void Convert(const std::string& in, const std::string& outPath, const std::string& size,
             ResampleFilter filter) {
    ImageHolder holder;
    const ImageStatus read = LoadImageFile(holder, in);
    if (!read.ok() || holder.Image.Empty()) throw WorkError{"cannot read \"" + in + "\""};
    if (!size.empty()) {
        int w = 0, h = 0;
        char x = 0;
        std::istringstream s(size);
        if (!(s >> w >> x >> h) || (x != 'x' && x != 'X') || w < 1 || h < 1 || !s.eof())
            throw CLI::ValidationError("--size", "expected WIDTHxHEIGHT, for example 64x64");
        ResampleImage(holder, w, h, filter);
    }
    const ImageStatus written = SaveImageFile(holder, outPath, WriteMode::Replace);
    if (written.Code == ImageError::NoWriter || written.Code == ImageError::CannotEncode)
        throw WorkError{"cannot write \"" + outPath + "\" in the format its extension names"};
    if (!written.ok()) throw WorkError{ImageStatusText(written, outPath)};
}

}  // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{
        "Glyphwright on the command line: list, extract, inspect and convert icons and "
        "pictures.",
        kProgram};
    app.set_version_flag("--version", std::string(kProgram) + " " + GW_VERSION);
    app.require_subcommand(1);

    std::vector<std::string> listPaths;
    CLI::App* list =
        app.add_subcommand("list",
                           "Print the entries that opening these files would add: "
                           "icon number, picture width x height, source path (tab-separated).");
    list->add_option("FILE", listPaths, "Files to open")->required();

    std::string exFile, exOut;
    int exIndex = 0, exWidth = 0, exHeight = 0;
    CLI::App* extract =
        app.add_subcommand("extract",
                           "Write icon INDEX (from 0) of FILE at WIDTH x HEIGHT as a "
                           "one-image icon file OUT.");
    extract->add_option("FILE", exFile, "Executable, library or icon file")->required();
    extract->add_option("INDEX", exIndex, "Icon index, from 0")
        ->required()
        ->check(CLI::NonNegativeNumber);
    extract->add_option("WIDTH", exWidth, "Width in pixels")->required()->check(CLI::Range(1, 256));
    extract->add_option("HEIGHT", exHeight, "Height in pixels")
        ->required()
        ->check(CLI::Range(1, 256));
    extract->add_option("OUT", exOut, "Output file")->required();

    std::string infoFile;
    CLI::App* info =
        app.add_subcommand("info",
                           "Describe a file: detected format, the format its extension names, "
                           "size, depth, alpha and icon count.");
    info->add_option("FILE", infoFile, "File to inspect")->required();

    std::string cvIn, cvOut, cvSize, cvFilter = "hermite";
    CLI::App* convert = app.add_subcommand("convert",
                                           "Read IN with the reader its extension names, resize it "
                                           "when --size is given, write OUT by its extension.");
    convert->add_option("IN", cvIn, "Input picture")->required();
    convert->add_option("OUT", cvOut, "Output picture")->required();
    convert->add_option("--size", cvSize, "New size as WIDTHxHEIGHT");
    std::vector<std::string> filterChoices;
    for (const auto& [name, value] : FilterNames()) filterChoices.push_back(name);
    convert->add_option("--filter", cvFilter, "Resampling filter (default hermite)")
        ->check(CLI::IsMember(filterChoices));

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
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

    try {
        if (*list) List(listPaths, out);
        if (*extract) Extract(exFile, exIndex, exWidth, exHeight, exOut);
        if (*info) Info(infoFile, out);
        if (*convert) Convert(cvIn, cvOut, cvSize, FilterNames().at(cvFilter));
    } catch (const CLI::ValidationError& e) {
        err << kProgram << ": " << e.what() << '\n';
        return 2;
    } catch (const WorkError& e) {
        err << kProgram << ": " << e.Message << '\n';
        return 1;
    } catch (const std::exception& e) {
        err << kProgram << ": " << e.what() << '\n';
        return 1;
    }
    return 0;
}

}  // namespace gw
