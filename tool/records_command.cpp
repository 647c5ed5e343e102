// tellwick-tool records: list a records folder as the program's lists see it, rebuild its
// index, and show the record chunk of one file.
//
// Output: one line per record, tab-separated: start, end, type, flags, size, Skype name,
// second text, full name, annotation, path. Times are seconds since 1970 (UTC); flags are
// decimal. In texts a backslash, tab, newline or carriage return is written as \\, \t, \n,
// \r, so a line is always one record.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>

#include "records/record_index.h"
#include "records/record_info.h"
#include "tool/cli_args.h"
#include "tool/tool_command.h"

namespace {

std::string escaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

void printRecord(const tw::RecordInfo& r)
{
    std::printf("%u\t%u\t%u\t%u\t%lld\t%s\t%s\t%s\t%s\t%s\n", r.startTime, r.endTime, r.type,
                r.flags, static_cast<long long>(r.size), escaped(r.SkypeName()).c_str(),
                escaped(r.SecondText()).c_str(), escaped(r.FullName()).c_str(),
                escaped(r.Annotation()).c_str(), escaped(r.Path()).c_str());
}

int run(const std::vector<std::string>& args)
{
    CLI::App app{"Records folders, their index and record chunks", "tellwick-tool records"};
    app.require_subcommand(1);

    std::string folder, file, search;
    unsigned type = 0;
    auto* list = app.add_subcommand(
        "list", "print the records of FOLDER in ascending start time (writes its index when "
                "missing)");
    list->add_option("FOLDER", folder, "records folder")->required();
    list->add_option("--search", search, "only records whose row texts contain TEXT");
    list->add_option("--type", type, "0 all, 1 voice mails, 2 conversation records")
        ->check(CLI::Range(0, 2));
    auto* rebuild = app.add_subcommand(
        "rebuild", "rescan FOLDER keeping flags and annotations, and save its index");
    rebuild->add_option("FOLDER", folder, "records folder")->required();
    auto* info = app.add_subcommand("info", "print the record chunk of FILE");
    info->add_option("FILE", file, "a WAV record")->required();

    if (const auto status = tw::tool::parseVerbArguments(app, "tellwick-tool records", args))
        return *status;

    if (*info) {
        tw::RecordInfo r;
        if (!tw::ReadRecordInfo(file, r)) {
            std::fprintf(stderr, "tellwick-tool records: %s has no record chunk\n", file.c_str());
            return 1;
        }
        printRecord(r);
        return 0;
    }
    // The index and every record chunk store full paths: a relative one would name another
    // file as soon as the program runs from another folder.
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(folder, ec).lexically_normal();
    if (ec) {
        std::fprintf(stderr, "tellwick-tool records: cannot resolve %s\n", folder.c_str());
        return 1;
    }
    folder = absolute.string();
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    tw::CRecordIndex index;
    if (!index.OpenFolder(folder)) {
        std::fprintf(stderr, "tellwick-tool records: cannot read %s\n", folder.c_str());
        return 1;
    }
    if (*rebuild) {
        if (!index.Rebuild() || !index.Save()) {
            std::fprintf(stderr, "tellwick-tool records: cannot rebuild %s\n", folder.c_str());
            return 1;
        }
        std::printf("%zu records\n", index.GetRecordCount());
        return 0;
    }
    index.EnumerateRecords(type, search, printRecord);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

tw::tool::ToolCommandRegistrar reg({"records",
                                    "list records, rebuild an index, show a record chunk", &run});

} // namespace
