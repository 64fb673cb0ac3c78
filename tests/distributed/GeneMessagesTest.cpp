// Genes and seeds sent between ranks arrive as they left: ids beyond 32 bits, any name, every
// count bit for bit, the presence bits recomputed as the sender made them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestSupport.hpp"
#include "distributed/GeneMessages.hpp"

namespace varnosk::test {
namespace {

constexpr float kThreshold = 1.0f;
constexpr std::uint64_t kLargeId = (std::uint64_t{1} << 32) + 5;

// A gene's counts as bits: equal floats could hide a changed sign of zero.
std::vector<std::uint32_t> bitsOf(const std::vector<float>& counts) {
    std::vector<std::uint32_t> bits(counts.size());
    if (!counts.empty()) std::memcpy(bits.data(), counts.data(), counts.size() * sizeof(float));
    return bits;
}

std::vector<std::uint64_t> presenceWords(const Gene& gene) {
    const SamplePresence& p = gene.presence;
    return std::vector<std::uint64_t>(p.detected(), p.detected() + p.stride());
}

// Genes a fault would meet: an id above 32 bits, no name, no sample, more than 64 samples
// (two words of bits), extreme finite counts and negative zero.
std::vector<Gene> awkwardGenes() {
    std::vector<float> wide(130, 0.0f);
    for (std::size_t s = 0; s < wide.size(); s += 3) wide[s] = static_cast<float>(s) * 0.5f;
    return {
        makeGene(kLargeId, "gene\twith tab and \xc3\xa9", {0.0f, 1.0f, 16777216.0f, std::numeric_limits<float>::max()},
                 kThreshold),
        makeGene(1, "", {-0.0f, std::numeric_limits<float>::denorm_min(), 0.999999f, 1.0f}, kThreshold),
        makeGene(std::numeric_limits<std::uint64_t>::max(), "no samples", {}, kThreshold),
        makeGene(2, "wide", wide, kThreshold),
    };
}

TEST(GeneMessages, GenesRoundTripInSequenceWithTheirPresenceRecomputed) {
    const std::vector<Gene> genes = awkwardGenes();
    ByteWriter out;
    for (const Gene& gene : genes) writeGene(out, gene);
    const std::string bytes = out.take();
    std::size_t expected_size = 0;
    for (const Gene& gene : genes) {
        expected_size += 3 * sizeof(std::uint64_t) + gene.name.size() + sizeof(float) * gene.counts.size();
    }
    EXPECT_EQ(bytes.size(), expected_size);

    ByteReader in(bytes);
    ByteReader again(bytes);
    for (const Gene& sent : genes) {
        const Gene got = readGene(in, kThreshold);
        EXPECT_EQ(got.id, sent.id);
        EXPECT_EQ(got.name, sent.name);
        EXPECT_EQ(bitsOf(got.counts), bitsOf(sent.counts)) << sent.name;
        EXPECT_EQ(presenceWords(got), presenceWords(sent)) << sent.name;
        EXPECT_EQ(got.prevalence(), sent.prevalence()) << sent.name;

        const Gene bare = readGeneWithoutPresence(again);
        EXPECT_EQ(bare.id, sent.id);
        EXPECT_EQ(bare.name, sent.name);
        EXPECT_EQ(bitsOf(bare.counts), bitsOf(sent.counts)) << sent.name;
        EXPECT_EQ(bare.presence.detected(), nullptr);
    }
    EXPECT_TRUE(in.atEnd());
    EXPECT_TRUE(again.atEnd());
}

TEST(GeneMessages, NamesTravelWithoutCounts) {
    ByteWriter out;
    for (const Gene& gene : awkwardGenes()) writeGeneName(out, gene);
    const std::string bytes = out.take();
    ByteReader in(bytes);
    for (const Gene& sent : awkwardGenes()) {
        const Gene got = readGeneName(in);
        EXPECT_EQ(got.id, sent.id);
        EXPECT_EQ(got.name, sent.name);
        EXPECT_TRUE(got.counts.empty());
    }
    EXPECT_TRUE(in.atEnd());
}

TEST(GeneMessages, EveryMessageCutShortIsRefusedNotMisread) {
    const Gene gene = awkwardGenes().front();
    ByteWriter gene_out;
    writeGene(gene_out, gene);
    const std::string gene_bytes = gene_out.take();
    ByteWriter name_out;
    writeGeneName(name_out, gene);
    const std::string name_bytes = name_out.take();
    for (std::size_t length = 0; length < gene_bytes.size(); ++length) {
        ByteReader in(std::string_view(gene_bytes).substr(0, length));
        EXPECT_THROW(readGene(in, kThreshold), std::runtime_error) << length;
    }
    for (std::size_t length = 0; length < name_bytes.size(); ++length) {
        ByteReader in(std::string_view(name_bytes).substr(0, length));
        EXPECT_THROW(readGeneName(in), std::runtime_error) << length;
    }
    // a length beyond what follows must not allocate it: the message is refused at once
    ByteWriter huge;
    huge.put<std::uint64_t>(7);
    huge.put<std::uint64_t>(std::numeric_limits<std::uint64_t>::max() / 2);
    const std::string huge_bytes = huge.take();
    ByteReader in(huge_bytes);
    try {
        readGeneName(in);
        ADD_FAILURE() << "a name longer than its message was read";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "error: a message between processes was cut short.");
    }
}

TEST(GeneMessages, SeedMembersAreFoundAgainAmongTheReceiversGenes) {
    // the receiver's own copies of the members, at other addresses than the sender's
    const std::vector<Gene> sender_genes = awkwardGenes();
    const std::vector<Gene> receiver_genes = awkwardGenes();
    Seed seed;
    seed.genes = {&sender_genes[3], &sender_genes[0], &sender_genes[1]};
    seed.representative = makeGene(0, "None", {2.0f, 0.5f, 1.0f, 3.0f}, kThreshold);
    Seed empty_name_only;
    empty_name_only.genes = {&sender_genes[2]};
    empty_name_only.representative = makeGene(0, "None", {}, kThreshold);

    ByteWriter out;
    writeSeed(out, seed);
    writeSeed(out, empty_name_only);
    const std::string bytes = out.take();
    const GenesById known(GeneList{&receiver_genes[0], &receiver_genes[1], &receiver_genes[2], &receiver_genes[3]});
    ByteReader in(bytes);
    const Seed got = readSeed(in, known, kThreshold);
    EXPECT_EQ(got.genes, (GeneList{&receiver_genes[3], &receiver_genes[0], &receiver_genes[1]}));
    EXPECT_EQ(got.representative.id, 0u);
    EXPECT_EQ(got.representative.name, "None");
    EXPECT_EQ(bitsOf(got.representative.counts), bitsOf(seed.representative.counts));
    EXPECT_EQ(presenceWords(got.representative), presenceWords(seed.representative));
    const Seed second = readSeed(in, known, kThreshold);
    EXPECT_EQ(second.genes, GeneList{&receiver_genes[2]});
    EXPECT_TRUE(second.representative.counts.empty());
    EXPECT_TRUE(in.atEnd());

    // a member the receiver does not hold is an error naming it, not a null pointer
    const GenesById partial(GeneList{&receiver_genes[1], &receiver_genes[3]});
    EXPECT_TRUE(partial.holds(1));
    EXPECT_FALSE(partial.holds(kLargeId));
    ByteReader again(bytes);
    try {
        readSeed(again, partial, kThreshold);
        ADD_FAILURE() << "a seed with an unknown member was read";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "error: gene " + std::to_string(kLargeId) + " is unknown to this process.");
    }
}

}  // namespace
}  // namespace varnosk::test
