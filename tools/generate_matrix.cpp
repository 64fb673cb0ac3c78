// Writes a synthetic gene count matrix with a known truth: species whose genes are
// co-abundant across the samples where the species lives, plus unrelated noise genes.
// The output depends only on the options: the random numbers come from our own generator
// and distributions, not from <random>, whose distributions differ between libraries.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

const char* const kUsage =
    "Usage: varnosk-generate --out matrix.tsv [--truth truth.tsv] [--genes N] [--samples N]\n"
    "                        [--species N] [--seed N] [--noise-fraction F] [--depth F]\n"
    "                        [--prevalence F | --prevalence-range LOW:HIGH]\n"
    "                        [--abundance-sd F] [--level-sd F] [--dispersion F]\n"
    "                        [--duplicates N] [--no-header]\n"
    "\n"
    "  --genes N           number of gene lines (default 5000)\n"
    "  --samples N         number of samples (default 40)\n"
    "  --species N         number of planted species (default 10)\n"
    "  --seed N            random seed; equal options give identical files (default 1)\n"
    "  --noise-fraction F  share of genes that belong to no species (default 0.2)\n"
    "  --depth F           expected count of an average gene of a species of average\n"
    "                      abundance in a sample of average depth (default 100)\n"
    "  --prevalence F      chance that a species is present in a sample, the same for\n"
    "                      every species (default: drawn per species from 0.15 to 0.5;\n"
    "                      1 puts every species in every sample)\n"
    "  --prevalence-range LOW:HIGH\n"
    "                      the range that chance is drawn from per species (default\n"
    "                      0.15:0.5); every species is still put in at least a quarter\n"
    "                      of the samples\n"
    "  --abundance-sd F    standard deviation of log10 of a species' abundance across\n"
    "                      the samples where it lives (default 0.347, e^0.8 fold)\n"
    "  --level-sd F        standard deviation of log10 of the species' typical\n"
    "                      abundances (default 0.304, e^0.7 fold; 0: all alike)\n"
    "  --dispersion F      gamma-Poisson dispersion of every count: the mean of its\n"
    "                      Poisson draw is scaled by a gamma variable of mean 1 and\n"
    "                      variance F (default 0: plain Poisson)\n"
    "  --duplicates N      N more gene lines, each with the counts of the first core\n"
    "                      gene of the first species (default 0)\n"
    "  --no-header         write no header line of sample names\n"
    "  --out PATH          the count matrix (gene name, then one count per sample)\n"
    "  --truth PATH        gene_id, gene_name, species and role of every gene line\n";

// The range a species' prevalence is drawn from by default.
constexpr double kDrawnPrevalenceLow = 0.15;
constexpr double kDrawnPrevalenceHigh = 0.5;
// Natural-log spreads of species abundance when no option sets them.
constexpr double kAbundanceSpread = 0.8;
constexpr double kLevelSpread = 0.7;

struct Options {
    std::uint64_t genes = 5000;
    std::uint64_t samples = 40;
    std::uint64_t species = 10;
    std::uint64_t seed = 1;
    double noise_fraction = 0.2;
    double depth = 100.0;
    double prevalence = 0.0;  // 0: drawn per species, from the range below
    double prevalence_low = kDrawnPrevalenceLow;
    double prevalence_high = kDrawnPrevalenceHigh;
    double abundance_sd = -1.0;  // log10; negative: kAbundanceSpread
    double level_sd = -1.0;      // log10; negative: kLevelSpread
    double dispersion = 0.0;
    std::uint64_t duplicates = 0;
    bool header = true;
    std::string out;
    std::string truth;
};

// splitmix64 (Steele, Lea and Flood 2014): expands the seed into the generator state.
std::uint64_t splitmix64(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

// xoshiro256** (Blackman and Vigna 2018) with our own distributions on top.
class Random {
public:
    explicit Random(std::uint64_t seed) {
        for (auto& word : state_) word = splitmix64(seed);
    }

    std::uint64_t next() {
        const std::uint64_t result = rotl(state_[1] * 5, 7) * 9;
        const std::uint64_t t = state_[1] << 17;
        state_[2] ^= state_[0];
        state_[3] ^= state_[1];
        state_[1] ^= state_[2];
        state_[0] ^= state_[3];
        state_[2] ^= t;
        state_[3] = rotl(state_[3], 45);
        return result;
    }

    // Uniform in [0, 1) with 53 random bits.
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    double uniform(double low, double high) { return low + (high - low) * uniform(); }
    // Uniform integer in [0, n); the modulo bias of at most n / 2^64 is irrelevant here.
    std::uint64_t below(std::uint64_t n) { return next() % n; }
    bool chance(double p) { return uniform() < p; }

    // Standard normal by Marsaglia's polar method (needs only log and sqrt).
    double normal() {
        for (;;) {
            const double u = 2.0 * uniform() - 1.0;
            const double v = 2.0 * uniform() - 1.0;
            const double s = u * u + v * v;
            if (s > 0.0 && s < 1.0) return u * std::sqrt(-2.0 * std::log(s) / s);
        }
    }
    double logNormal(double mu, double sigma) { return std::exp(mu + sigma * normal()); }

    // Poisson: inversion by sequential search for small means, the rounded normal
    // approximation (with continuity correction) for large ones.
    std::uint64_t poisson(double mean) {
        if (mean <= 0.0) return 0;
        if (mean < 30.0) {
            const double u = uniform();
            double p = std::exp(-mean);
            double cumulative = p;
            std::uint64_t k = 0;
            while (u > cumulative && k < 1000) {
                ++k;
                p *= mean / static_cast<double>(k);
                cumulative += p;
            }
            return k;
        }
        const double x = std::floor(mean + std::sqrt(mean) * normal() + 0.5);
        return x <= 0.0 ? 0 : static_cast<std::uint64_t>(x);
    }

    // Gamma with the given shape and scale 1 (Marsaglia and Tsang 2000; a shape below 1 is
    // raised by one and scaled back by u^(1/shape)).
    double gamma(double shape) {
        if (shape < 1.0) return gamma(shape + 1.0) * std::pow(uniform(), 1.0 / shape);
        const double d = shape - 1.0 / 3.0;
        const double c = 1.0 / std::sqrt(9.0 * d);
        for (;;) {
            double x = 0.0;
            double v = 0.0;
            do {
                x = normal();
                v = 1.0 + c * x;
            } while (v <= 0.0);
            v = v * v * v;
            const double u = uniform();
            if (std::log(u) < 0.5 * x * x + d - d * v + d * std::log(v)) return d * v;
        }
    }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::uint64_t state_[4];
};

enum class Role { Core, Accessory, Noise };

struct GeneModel {
    Role role = Role::Noise;
    std::uint32_t species = 0;  // for core and accessory genes
    double factor = 1.0;        // gene length and mappability, relative
    double presence = 0.0;      // accessory: share of the species' samples holding the gene;
                                // noise: chance to appear in any sample
};

struct SpeciesModel {
    std::vector<double> abundance;  // per sample, 0 where the species is absent
    std::uint64_t present_samples = 0;
};

std::uint64_t parseCount(std::string_view option, const char* text) {
    std::uint64_t value = 0;
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    if (error != std::errc() || stop != end) throw std::invalid_argument(std::string(option) + " needs a whole number");
    return value;
}

double parseReal(std::string_view option, const char* text) {
    char* stop = nullptr;
    const double value = std::strtod(text, &stop);
    if (stop == text || *stop != '\0' || !std::isfinite(value) || value < 0.0) {
        throw std::invalid_argument(std::string(option) + " needs a non-negative number");
    }
    return value;
}

// "LOW:HIGH", two non-negative numbers.
void parseRange(std::string_view option, const char* text, double& low, double& high) {
    const std::string_view whole = text;
    const std::size_t colon = whole.find(':');
    if (colon == std::string_view::npos) throw std::invalid_argument(std::string(option) + " needs LOW:HIGH");
    low = parseReal(option, std::string(whole.substr(0, colon)).c_str());
    high = parseReal(option, std::string(whole.substr(colon + 1)).c_str());
}

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (option == "--no-header") {
            options.header = false;
            continue;
        }
        if (i + 1 >= argc) throw std::invalid_argument(std::string(option) + " needs a value");
        const char* value = argv[++i];
        if (option == "--genes")
            options.genes = parseCount(option, value);
        else if (option == "--samples")
            options.samples = parseCount(option, value);
        else if (option == "--species")
            options.species = parseCount(option, value);
        else if (option == "--seed")
            options.seed = parseCount(option, value);
        else if (option == "--noise-fraction")
            options.noise_fraction = parseReal(option, value);
        else if (option == "--depth")
            options.depth = parseReal(option, value);
        else if (option == "--prevalence")
            options.prevalence = parseReal(option, value);
        else if (option == "--prevalence-range")
            parseRange(option, value, options.prevalence_low, options.prevalence_high);
        else if (option == "--abundance-sd")
            options.abundance_sd = parseReal(option, value);
        else if (option == "--level-sd")
            options.level_sd = parseReal(option, value);
        else if (option == "--dispersion")
            options.dispersion = parseReal(option, value);
        else if (option == "--duplicates")
            options.duplicates = parseCount(option, value);
        else if (option == "--out")
            options.out = value;
        else if (option == "--truth")
            options.truth = value;
        else
            throw std::invalid_argument("unknown option " + std::string(option));
    }
    if (options.out.empty()) throw std::invalid_argument("--out is required");
    if (options.samples == 0) throw std::invalid_argument("--samples must be at least 1");
    if (options.noise_fraction > 1.0) throw std::invalid_argument("--noise-fraction must be at most 1");
    if (options.prevalence > 1.0) throw std::invalid_argument("--prevalence must be at most 1");
    if (!(options.prevalence_low > 0.0 && options.prevalence_low <= options.prevalence_high &&
          options.prevalence_high <= 1.0)) {
        throw std::invalid_argument("--prevalence-range needs 0 < LOW <= HIGH <= 1");
    }
    if (options.species > options.genes) throw std::invalid_argument("--species must not exceed --genes");
    if (options.duplicates > 0 && options.species == 0) throw std::invalid_argument("--duplicates needs a species");
    return options;
}

// Buffered writer that fails loudly: a truncated matrix must not look like a good one.
class Output {
public:
    explicit Output(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "wb")) {
        if (file_ == nullptr) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
        buffer_.reserve(kFlushSize + 4096);
    }
    ~Output() {
        if (file_ != nullptr) std::fclose(file_);
    }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void put(std::string_view text) { buffer_.append(text); }
    void put(char c) { buffer_.push_back(c); }
    void put(std::uint64_t value) {
        char digits[24];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        buffer_.append(digits, result.ptr);
    }
    void endLine() {
        buffer_.push_back('\n');
        if (buffer_.size() >= kFlushSize) flush();
    }
    void close() {
        flush();
        std::FILE* file = file_;
        file_ = nullptr;
        if (std::fclose(file) != 0) fail();
    }

private:
    static constexpr std::size_t kFlushSize = std::size_t{1} << 20;
    void flush() {
        if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) fail();
        buffer_.clear();
    }
    [[noreturn]] void fail() const { throw std::runtime_error("cannot write " + path_); }

    std::string path_;
    std::FILE* file_;
    std::string buffer_;
};

std::string padded(std::uint64_t value, std::size_t width) {
    std::string text = std::to_string(value);
    if (text.size() < width) text.insert(0, width - text.size(), '0');
    return text;
}

void generate(const Options& options) {
    Random random(options.seed);
    const std::uint64_t num_samples = options.samples;
    const std::uint64_t num_species = options.species;

    // Sequencing depth of each sample, relative.
    std::vector<double> sample_depth(num_samples);
    for (auto& depth : sample_depth) depth = random.logNormal(0.0, 0.3);

    // Species live in a random subset of the samples (at least a quarter of them, so that
    // their genes can be seen co-varying) with a log-normal abundance in each.
    const std::uint64_t min_present = std::max<std::uint64_t>(1, (num_samples + 3) / 4);
    const double abundance_spread =
        options.abundance_sd >= 0.0 ? options.abundance_sd * std::log(10.0) : kAbundanceSpread;
    const double level_spread = options.level_sd >= 0.0 ? options.level_sd * std::log(10.0) : kLevelSpread;
    std::vector<SpeciesModel> species(num_species);
    for (auto& model : species) {
        model.abundance.assign(num_samples, 0.0);
        // Drawn even when the option fixes it, so that other options give the same matrix.
        // The range is a linear map of the default one's draw: the random stream, and with
        // the default range the matrix, stay the same.
        const double drawn_prevalence =
            options.prevalence_low + (random.uniform(kDrawnPrevalenceLow, kDrawnPrevalenceHigh) - kDrawnPrevalenceLow) /
                                         (kDrawnPrevalenceHigh - kDrawnPrevalenceLow) *
                                         (options.prevalence_high - options.prevalence_low);
        const double prevalence = options.prevalence > 0.0 ? options.prevalence : drawn_prevalence;
        const double level = level_spread * random.normal();
        for (auto& abundance : model.abundance) {
            if (random.chance(prevalence)) abundance = random.logNormal(level, abundance_spread);
        }
        model.present_samples = static_cast<std::uint64_t>(
            std::count_if(model.abundance.begin(), model.abundance.end(), [](double a) { return a > 0.0; }));
        while (model.present_samples < min_present) {
            const std::uint64_t s = random.below(num_samples);
            if (model.abundance[s] > 0.0) continue;
            model.abundance[s] = random.logNormal(level, abundance_spread);
            ++model.present_samples;
        }
    }

    // Genes: each species gets a share of the non-noise genes, about 70% of them core.
    const auto num_noise =
        num_species == 0
            ? options.genes
            : std::min(options.genes - num_species, static_cast<std::uint64_t>(std::llround(
                                                        static_cast<double>(options.genes) * options.noise_fraction)));
    const std::uint64_t num_species_genes = options.genes - num_noise;
    std::vector<double> weights(num_species);
    double total_weight = 0.0;
    for (auto& weight : weights) total_weight += (weight = random.uniform(0.5, 1.5));
    std::vector<std::uint64_t> species_sizes(num_species, 0);
    std::uint64_t assigned = 0;
    for (std::uint64_t k = 0; k < num_species; ++k) {
        species_sizes[k] = std::max<std::uint64_t>(
            1, static_cast<std::uint64_t>(static_cast<double>(num_species_genes) * weights[k] / total_weight));
        assigned += species_sizes[k];
    }
    for (std::uint64_t k = 0; assigned < num_species_genes; k = (k + 1) % num_species, ++assigned) ++species_sizes[k];
    for (std::uint64_t k = 0; assigned > num_species_genes; k = (k + 1) % num_species) {
        if (species_sizes[k] > 1) {
            --species_sizes[k];
            --assigned;
        }
    }

    std::vector<GeneModel> genes;
    genes.reserve(options.genes);
    for (std::uint64_t k = 0; k < num_species; ++k) {
        const auto num_core = static_cast<std::uint64_t>(std::ceil(0.7 * static_cast<double>(species_sizes[k])));
        for (std::uint64_t g = 0; g < species_sizes[k]; ++g) {
            GeneModel gene;
            gene.role = g < num_core ? Role::Core : Role::Accessory;
            gene.species = static_cast<std::uint32_t>(k);
            gene.factor = random.logNormal(0.0, 0.4);
            if (gene.role == Role::Accessory) gene.presence = random.uniform(0.3, 0.8);
            genes.push_back(gene);
        }
    }
    for (std::uint64_t g = 0; g < num_noise; ++g) {
        GeneModel gene;
        gene.factor = random.logNormal(std::log(0.3), 1.0);
        // A third of the noise genes are seen in one or two samples only: the rare genes.
        gene.presence = random.chance(1.0 / 3.0) ? 1.5 / static_cast<double>(num_samples) : random.uniform(0.05, 0.4);
        genes.push_back(gene);
    }
    // Matrix rows come in no biological order (Fisher-Yates shuffle).
    for (std::uint64_t i = genes.size(); i > 1; --i) std::swap(genes[i - 1], genes[random.below(i)]);

    const std::uint64_t num_rows = genes.size() + options.duplicates;
    const std::size_t name_width = std::to_string(num_rows).size();
    // The row whose counts the duplicates repeat.
    std::uint64_t duplicated_row = 0;
    if (options.duplicates > 0) {
        while (genes[duplicated_row].role != Role::Core || genes[duplicated_row].species != 0) ++duplicated_row;
    }
    std::vector<std::uint64_t> duplicated_counts;
    const std::size_t species_width = std::to_string(std::max<std::uint64_t>(num_species, 1)).size();
    const std::size_t sample_width = std::to_string(num_samples).size();

    Output matrix(options.out);
    if (options.header) {
        matrix.put("gene_name");
        for (std::uint64_t s = 0; s < num_samples; ++s) {
            matrix.put("\tsample_");
            matrix.put(padded(s + 1, sample_width));
        }
        matrix.endLine();
    }
    for (std::uint64_t row = 0; row < genes.size(); ++row) {
        const GeneModel& gene = genes[row];
        const bool duplicated = options.duplicates > 0 && row == duplicated_row;
        matrix.put("gene_");
        matrix.put(padded(row + 1, name_width));
        for (std::uint64_t s = 0; s < num_samples; ++s) {
            double mean = 0.0;
            if (gene.role == Role::Noise) {
                if (random.chance(gene.presence))
                    mean = options.depth * sample_depth[s] * random.logNormal(0.0, 1.0) * gene.factor;
            } else {
                const double abundance = species[gene.species].abundance[s];
                if (abundance > 0.0 && (gene.role == Role::Core || random.chance(gene.presence))) {
                    // Counts proportional to species abundance x gene factor, with
                    // Poisson sampling noise: the genes of a species are co-abundant.
                    mean = options.depth * sample_depth[s] * abundance * gene.factor;
                }
            }
            // Gamma-Poisson: the mean itself varies from count to count.
            if (options.dispersion > 0.0 && mean > 0.0) {
                mean *= random.gamma(1.0 / options.dispersion) * options.dispersion;
            }
            const std::uint64_t count = random.poisson(mean);
            if (duplicated) duplicated_counts.push_back(count);
            matrix.put('\t');
            matrix.put(count);
        }
        matrix.endLine();
    }
    for (std::uint64_t row = genes.size(); row < num_rows; ++row) {
        matrix.put("gene_");
        matrix.put(padded(row + 1, name_width));
        for (const std::uint64_t count : duplicated_counts) {
            matrix.put('\t');
            matrix.put(count);
        }
        matrix.endLine();
    }
    matrix.close();

    if (!options.truth.empty()) {
        Output truth(options.truth);
        truth.put("gene_id\tgene_name\tspecies\trole");
        truth.endLine();
        for (std::uint64_t row = 0; row < num_rows; ++row) {
            const GeneModel& gene = genes[row < genes.size() ? row : duplicated_row];
            truth.put(row + 1);
            truth.put("\tgene_");
            truth.put(padded(row + 1, name_width));
            if (gene.role == Role::Noise) {
                truth.put("\tnone\tnoise");
            } else {
                truth.put("\tspecies_");
                truth.put(padded(gene.species + 1, species_width));
                truth.put(gene.role == Role::Core ? "\tcore" : "\taccessory");
            }
            truth.endLine();
        }
        truth.close();
    }

    std::printf("%llu genes x %llu samples written to %s (%llu species, %llu noise genes)\n",
                static_cast<unsigned long long>(num_rows), static_cast<unsigned long long>(num_samples),
                options.out.c_str(), static_cast<unsigned long long>(num_species),
                static_cast<unsigned long long>(num_noise));
    for (std::uint64_t k = 0; k < num_species; ++k) {
        std::printf("  species_%s: %llu genes, present in %llu samples\n", padded(k + 1, species_width).c_str(),
                    static_cast<unsigned long long>(species_sizes[k]),
                    static_cast<unsigned long long>(species[k].present_samples));
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        generate(parseOptions(argc, argv));
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "varnosk-generate: %s\n\n%s", error.what(), kUsage);
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "varnosk-generate: %s\n", error.what());
        return 1;
    }
    return 0;
}
