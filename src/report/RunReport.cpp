#include "report/RunReport.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <ostream>

#include "common/TableNames.hpp"
#include "config/SettingsTable.hpp"
#include "output/NumberText.hpp"
#include "output/OutputFile.hpp"
#include "report/HeatmapGrid.hpp"
#include "report/HtmlText.hpp"

namespace varnosk {
namespace {

const char* const kCategoryColours[4] = {"#1b9e77", "#7fc97f", "#d95f02", "#fdb462"};
const char* const kCategoryNames[4] = {"core", "accessory", "shared core", "shared accessory"};

std::string num(double value) { return roundedText(value, 4); }

std::string duration(double seconds) {
    if (seconds < 60) return roundedText(seconds, 2) + " s";
    const auto whole = static_cast<std::int64_t>(seconds);
    return std::to_string(whole / 60) + " min " + std::to_string(whole % 60) + " s";
}

const char* const kStyle = R"(
body{font-family:sans-serif;margin:1.5em;color:#222;max-width:1200px}
h1{font-size:1.5em}h2{font-size:1.2em;margin-top:1.6em;border-bottom:1px solid #ccc}
table{border-collapse:collapse;font-size:.85em}td,th{border:1px solid #ccc;padding:2px 6px;text-align:left}
td.n{text-align:right}.scroll{max-height:640px;overflow:auto;border:1px solid #eee}
.facts td:first-child{font-weight:bold}.note{color:#555;font-size:.85em}svg text{font-size:11px}
.legend span{display:inline-block;width:12px;height:12px;margin:0 4px 0 12px;vertical-align:middle}
@media print{.scroll{max-height:none;overflow:visible;border:none}body{margin:0}}
)";

void factsRow(std::ostream& out, const std::string& name, const std::string& value) {
    out << "<tr><td>" << name << "</td><td>" << value << "</td></tr>\n";
}

void writeInput(std::ostream& out, const ReportInput& input) {
    out << "<h2>Input</h2>\n<table class=\"facts\">\n";
    factsRow(out, "Count matrix", escapeHtml(input.settings.count_matrix_file));
    if (input.command == kProfileCommand) {
        factsRow(out, "MSP set", escapeHtml(input.settings.msps_file));
        factsRow(out, "Core genes found in the matrix", std::to_string(input.num_genes));
        factsRow(out, "Samples", std::to_string(input.sample_names.size()));
    } else {
        factsRow(out, "Genes", std::to_string(input.num_genes));
        factsRow(out, "Samples", std::to_string(input.sample_names.size()));
        factsRow(out, "Genes filtered out (too rare)", std::to_string(input.num_filtered_genes));
    }
    out << "</table>\n";
}

// Every key as the recorded settings file writes it; the count matrix is shown under Input.
void writeSettings(std::ostream& out, const Settings& settings, unsigned command) {
    out << "<h2>Settings</h2>\n<table class=\"facts\">\n";
    for (const SettingKey& key : settingsTable()) {
        if (key.field == SettingField{&Settings::count_matrix_file} || (key.commands & command) == 0 ||
            !isPresent(settings, key)) {
            continue;
        }
        factsRow(out, key.dottedName(), escapeHtml(settingValueText(settings, key)));
    }
    out << "</table>\n";
}

void writeStages(std::ostream& out, const ReportInput& input) {
    out << "<h2>Stage times</h2>\n";
    const auto& stages = input.stage_seconds;
    double longest = 1e-3;
    for (const auto& stage : stages) longest = std::max(longest, stage.second);
    const int label_width = 300;
    const int bar_width = 400;
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << label_width + bar_width + 120 << "\" height=\""
        << 18 * stages.size() + 4 << "\">\n";
    for (std::size_t i = 0; i < stages.size(); ++i) {
        const auto& [name, seconds] = stages[i];
        const double width = std::max(1.0, bar_width * seconds / longest);
        const std::size_t y = 18 * i + 2;
        // The label is rounded for reading; data-seconds keeps six digits for scripts.
        out << "<g class=\"stage-bar\" data-seconds=\"" << roundedText(seconds, 6) << "\"><text x=\"" << label_width - 6
            << "\" y=\"" << y + 12 << "\" text-anchor=\"end\">" << escapeHtml(name) << "</text><rect x=\""
            << label_width << "\" y=\"" << y << "\" width=\"" << num(width)
            << "\" height=\"14\" fill=\"#4c78a8\"/><text x=\"" << label_width + width + 6 << "\" y=\"" << y + 12
            << "\">" << duration(seconds) << "</text></g>\n";
    }
    out << "</svg>\n<p class=\"note\">Wall-clock seconds; the report's own writing and the total are not "
           "included.</p>\n";
}

void writeCounts(std::ostream& out, const ReportInput& input) {
    out << "<h2>Clusters</h2>\n<table class=\"facts\">\n";
    if (input.command == kProfileCommand) {
        factsRow(out, "MSPs", std::to_string(input.msps.size()));
        out << "</table>\n";
        return;
    }
    factsRow(out, "Genes bins", std::to_string(input.num_bins));
    factsRow(out, "Seeds", std::to_string(input.num_seeds));
    factsRow(out, "Merged seeds", std::to_string(input.num_merged_seeds));
    factsRow(out, "Core seeds", std::to_string(input.num_core_seeds));
    factsRow(out, "MSPs", std::to_string(input.msps.size()));
    out << "</table>\n";
}

std::uint64_t totalGenes(const MspSummaryRow& msp) { return msp.genes[0] + msp.genes[1] + msp.genes[2] + msp.genes[3]; }

void writeLegend(std::ostream& out) {
    out << "<p class=\"legend\">";
    for (int c = 0; c < 4; ++c)
        out << "<span style=\"background:" << kCategoryColours[c] << "\"></span>" << kCategoryNames[c];
    out << "</p>\n";
}

// One horizontal stacked bar per MSP, largest first; names beside the bars while they fit.
void writeSizeChart(std::ostream& out, const std::vector<MspSummaryRow>& msps) {
    out << "<h2>MSPs by size</h2>\n";
    if (msps.empty()) {
        out << "<p>No MSP was found.</p>\n";
        return;
    }
    const std::size_t count = msps.size();
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return totalGenes(msps[a]) > totalGenes(msps[b]); });
    std::uint64_t largest = 1;
    for (const auto& msp : msps) largest = std::max(largest, totalGenes(msp));
    const bool labelled = count <= 100;
    const double row = labelled ? 16 : 3;
    const double label_width = labelled ? 90 : 10;
    const double bar_width = 600;
    writeLegend(out);
    out << "<p class=\"note\">Genes per MSP, largest first (the largest has " << largest << ")"
        << (labelled ? "" : "; hover a bar for its core / accessory / shared core / shared accessory genes")
        << ".</p>\n"
        << "<div class=\"scroll\"><svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << label_width + bar_width + 60
        << "\" height=\"" << num(row * static_cast<double>(count) + 4) << "\">\n";
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t m = order[i];
        const auto& sizes = msps[m].genes;
        const std::string name = escapeHtml(msps[m].msp_name);
        const double y = row * static_cast<double>(i) + 2;
        out << "<g class=\"msp-bar\"><title>" << name << ": ";
        // thousands of bars: the short form keeps large files small
        if (labelled) {
            out << sizes[0] << " core, " << sizes[1] << " accessory, " << sizes[2] << " shared core, " << sizes[3]
                << " shared accessory";
        } else {
            out << sizes[0] << " / " << sizes[1] << " / " << sizes[2] << " / " << sizes[3];
        }
        out << "</title>";
        if (labelled)
            out << "<text x=\"" << label_width - 6 << "\" y=\"" << y + 11 << "\" text-anchor=\"end\">" << name
                << "</text>";
        double x = label_width;
        for (int c = 0; c < 4; ++c) {
            if (sizes[c] == 0) continue;
            const double width = bar_width * static_cast<double>(sizes[c]) / static_cast<double>(largest);
            out << "<rect x=\"" << num(x) << "\" y=\"" << num(y) << "\" width=\"" << num(width) << "\" height=\""
                << num(labelled ? row - 3 : row - 0.5) << "\" fill=\"" << kCategoryColours[c] << "\"/>";
            x += width;
        }
        if (labelled) {
            out << "<text x=\"" << num(x + 4) << "\" y=\"" << y + 11 << "\">" << totalGenes(msps[m]) << "</text>";
        }
        out << "</g>\n";
    }
    out << "</svg></div>\n";
}

void writeHeatmap(std::ostream& out, const ReportInput& input) {
    out << "<h2>Relative abundance</h2>\n";
    const AbundanceTable& table = input.relative_abundance;
    if (table.numMsps() == 0 || table.num_samples == 0) {
        out << "<p>No MSP was found.</p>\n";
        return;
    }
    const HeatmapGrid grid = heatmapGrid(table, kMaxHeatmapRows, kMaxHeatmapColumns);
    const std::size_t msps = table.numMsps();
    double top = 0.0;
    for (const double v : grid.values) top = std::max(top, v);
    // a square-root scale, so that low but non-zero abundances stay visible
    const auto shade = [&](double v) { return colourScale(top > 0 ? std::sqrt(v / top) : 0.0); };

    const bool labelled_rows = grid.rows <= 150;
    const bool labelled_columns = grid.columns <= 150;
    const double cell_h = grid.rows <= 60 ? 14 : (grid.rows <= 150 ? 8 : 3);
    // whole pixels keep the positions short in a large file
    const double cell_w = std::clamp(std::floor(900.0 / static_cast<double>(grid.columns)), 5.0, 18.0);
    const double left = labelled_rows ? 110 : 10;
    const double head = labelled_columns ? 130 : 10;
    const bool titles = grid.rows * grid.columns <= 20000;

    out << "<p class=\"note\">Each row is an MSP in table order; each column a sample, columns ordered so that "
           "similar ones sit together (greedy nearest neighbour on the relative-abundance columns).";
    if (grid.rows_per_cell > 1 || grid.columns_per_cell > 1) {
        out << " To keep the chart readable each cell is the mean of up to " << grid.rows_per_cell
            << " consecutive MSPs and " << grid.columns_per_cell
            << " consecutive samples in table order, averaged before the columns are ordered.";
    }
    out << " Colour: the MSP's share of the sample's MSP abundance, on a square-root scale.</p>\n";
    // colour scale
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"420\" height=\"40\" class=\"colour-scale\">";
    for (int i = 0; i < 50; ++i) {
        out << "<rect x=\"" << 10 + 8 * i << "\" y=\"4\" width=\"8\" height=\"14\" fill=\"" << colourScale(i / 49.0)
            << "\"/>";
    }
    out << "<text x=\"10\" y=\"32\">0</text><text x=\"210\" y=\"32\" text-anchor=\"middle\">" << num(top / 4)
        << "</text><text x=\"410\" y=\"32\" text-anchor=\"end\">" << num(top) << "</text></svg>\n";

    // made once: a label is written beside its row or column and again in each cell's title
    const auto sampleName = [&](std::size_t s) { return escapeHtml(shortName(input.sample_names[s])); };
    std::vector<std::string> column_labels(grid.columns);
    for (std::size_t c = 0; c < grid.columns; ++c) {
        column_labels[c] = sampleName(grid.firstSample(c));
        if (grid.lastSample(c) != grid.firstSample(c)) column_labels[c] += " … " + sampleName(grid.lastSample(c));
    }
    std::vector<std::string> row_labels(grid.rows);
    for (std::size_t r = 0; r < grid.rows; ++r) {
        const std::size_t first = r * grid.rows_per_cell;
        const std::size_t last = std::min(msps, first + grid.rows_per_cell) - 1;
        const auto mspLabel = [&](std::size_t m) { return escapeHtml(shortName(input.msps[m].msp_name)); };
        row_labels[r] = last == first ? mspLabel(first) : mspLabel(first) + " … " + mspLabel(last);
    }
    out << "<div class=\"scroll\"><svg xmlns=\"http://www.w3.org/2000/svg\" class=\"heatmap\" width=\""
        << num(left + cell_w * static_cast<double>(grid.columns) + (labelled_columns ? 80 : 10)) << "\" height=\""
        << num(head + cell_h * static_cast<double>(grid.rows) + 10) << "\">\n";
    if (labelled_columns) {
        for (std::size_t c = 0; c < grid.columns; ++c) {
            const double x = left + cell_w * (static_cast<double>(c) + 0.7);
            out << "<text transform=\"translate(" << num(x) << "," << num(head - 4) << ") rotate(-60)\">"
                << column_labels[c] << "</text>\n";
        }
    }
    for (std::size_t r = 0; r < grid.rows; ++r) {
        const double y = head + cell_h * static_cast<double>(r);
        out << "<g class=\"heat-row\" transform=\"translate(0," << num(y) << ")\">";
        if (labelled_rows) {
            out << "<text x=\"" << left - 4 << "\" y=\"" << num(cell_h - 3) << "\" text-anchor=\"end\">"
                << row_labels[r] << "</text>";
        }
        for (std::size_t c = 0; c < grid.columns; ++c) {
            const double v = grid.values[r * grid.columns + c];
            out << "<rect x=\"" << num(left + cell_w * static_cast<double>(c)) << "\" width=\"" << num(cell_w)
                << "\" height=\"" << num(cell_h) << "\" fill=\"" << shade(v) << "\"";
            if (titles) {
                out << "><title>" << row_labels[r] << ", " << column_labels[c] << ": " << num(v) << "</title></rect>";
            } else {
                out << "/>";
            }
        }
        out << "</g>\n";
    }
    out << "</svg></div>\n";
}

// Prevalence (share of samples where the MSP is detected) against its mean abundance
// there, on a logarithmic axis; MSPs detected nowhere have no mean and are left out.
void writeScatter(std::ostream& out, const ReportInput& input) {
    out << "<h2>Prevalence and mean abundance</h2>\n";
    const std::size_t samples = input.sample_names.size();
    std::vector<std::size_t> shown;
    double low = INFINITY, high = -INFINITY;
    for (std::size_t m = 0; m < input.msps.size(); ++m) {
        const double mean = input.msps[m].summary.mean_abundance;
        if (std::isnan(mean) || mean <= 0) continue;
        shown.push_back(m);
        low = std::min(low, std::log10(mean));
        high = std::max(high, std::log10(mean));
    }
    if (shown.empty() || samples == 0) {
        out << "<p>No MSP is detected in any sample.</p>\n";
        return;
    }
    low = std::floor(low);
    high = std::max(std::ceil(high), low + 1);
    const double left = 70, top = 10, width = 600, height = 360;
    out << "<p class=\"note\">One point per MSP: x, the share of samples where it is detected; y, its mean "
           "abundance (raw counts) over those samples, log scale.</p>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"scatter\" width=\"" << left + width + 20 << "\" height=\""
        << top + height + 50 << "\">\n"
        << "<rect x=\"" << left << "\" y=\"" << top << "\" width=\"" << width << "\" height=\"" << height
        << "\" fill=\"none\" stroke=\"#888\"/>\n";
    for (int i = 0; i <= 10; i += 2) {
        const double x = left + width * i / 10.0;
        out << "<text x=\"" << x << "\" y=\"" << top + height + 16 << "\" text-anchor=\"middle\">" << i * 10
            << "%</text>\n";
    }
    for (double e = low; e <= high; e += 1) {
        const double y = top + height - height * (e - low) / (high - low);
        out << "<line x1=\"" << left << "\" x2=\"" << left + width << "\" y1=\"" << num(y) << "\" y2=\"" << num(y)
            << "\" stroke=\"#eee\"/><text x=\"" << left - 6 << "\" y=\"" << num(y + 4) << "\" text-anchor=\"end\">"
            << num(std::pow(10.0, e)) << "</text>\n";
    }
    out << "<text x=\"" << left + width / 2 << "\" y=\"" << top + height + 38
        << "\" text-anchor=\"middle\">prevalence (share of samples)</text>\n"
        << "<text transform=\"translate(14," << top + height / 2
        << ") rotate(-90)\" text-anchor=\"middle\">mean "
           "abundance</text>\n";
    const double radius = shown.size() > 1000 ? 2 : 4;
    for (const std::size_t m : shown) {
        const MspSummary& s = input.msps[m].summary;
        const double x = left + width * static_cast<double>(s.detected_samples) / static_cast<double>(samples);
        const double y = top + height - height * (std::log10(s.mean_abundance) - low) / (high - low);
        out << "<circle class=\"msp-dot\" cx=\"" << num(x) << "\" cy=\"" << num(y) << "\" r=\"" << radius
            << "\" fill=\"#4c78a8\" fill-opacity=\"0.7\"><title>" << escapeHtml(input.msps[m].msp_name) << ": "
            << s.detected_samples << " samples, mean " << num(s.mean_abundance) << "</title></circle>\n";
    }
    out << "</svg>\n";
}

void writeSummaryTable(std::ostream& out, const ReportInput& input) {
    out << "<h2>MSPs</h2>\n";
    if (input.msps.empty()) {
        out << "<p>No MSP was found.</p>\n";
        return;
    }
    out << "<div class=\"scroll\"><table class=\"msp-table\">\n<tr><th>MSP</th><th>core</th><th>accessory</th>"
           "<th>shared core</th><th>shared accessory</th><th>first core gene</th><th>detected samples</th>"
           "<th>mean abundance</th><th>cohesion</th>"
        << (input.lineages.empty() ? "" : "<th>lineage</th>") << "</tr>\n";
    for (std::size_t m = 0; m < input.msps.size(); ++m) {
        const MspSummaryRow& msp = input.msps[m];
        out << "<tr class=\"msp-row\"><td>" << escapeHtml(msp.msp_name) << "</td>";
        for (const std::uint64_t size : msp.genes) out << "<td class=\"n\">" << size << "</td>";
        out << "<td>" << escapeHtml(shortName(msp.first_core_gene)) << "</td>";
        const MspSummary& s = msp.summary;
        out << "<td class=\"n\">" << s.detected_samples << "</td><td class=\"n\">" << num(s.mean_abundance)
            << "</td><td class=\"n\">" << num(s.cohesion) << "</td>";
        if (m < input.lineages.size()) {
            const MspLineage& lineage = input.lineages[m];
            out << "<td>" << (lineage.lineage.empty() ? "NA" : escapeHtml(lineage.lineage)) << "</td>";
        }
        out << "</tr>\n";
    }
    out << "</table></div>\n";
}

}  // namespace

void writeReport(const ReportInput& input, const OutputDirectory& output_dir, const std::string& file_name) {
    OutputFile file(output_dir, file_name);
    std::ostream& out = file.stream();
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        << "<title>Varnosk report</title>\n<style>" << kStyle << "</style>\n</head>\n<body>\n"
        << "<h1>Varnosk " << VARNOSK_VERSION << " run report</h1>\n";
    writeInput(out, input);
    writeSettings(out, input.settings, input.command);
    writeStages(out, input);
    writeCounts(out, input);
    writeSizeChart(out, input.msps);
    writeHeatmap(out, input);
    writeScatter(out, input);
    writeSummaryTable(out, input);
    // marks a page that the browser parsed and ran to the end
    out << "<script>document.documentElement.setAttribute('data-report-ready','yes');</script>\n"
        << "</body>\n</html>\n";
    file.close();
}

}  // namespace varnosk
