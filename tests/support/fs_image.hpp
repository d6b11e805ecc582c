#pragma once
// Making small file-system images at test time with the system's mkfs tools,
// and running those tools to cross-check what the code reads.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tav::test {

struct CommandResult {
    int status = -1;     // exit status, -1 when the command could not run
    std::string output;  // stdout and stderr together
};

// Runs a shell command line; arguments must already be quoted.
CommandResult RunCommand(const std::string& command);
std::string Quoted(const std::filesystem::path& path);

// True when the program is on PATH (or in /sbin, /usr/sbin).
bool HaveTool(const std::string& name);

// A sparse file of the given size.
void MakeSparseFile(const std::filesystem::path& path, std::int64_t bytes);

// mkfs.fat -F bits -s spc on a fresh sparse image; nothing when it fails.
std::optional<std::filesystem::path> MakeFatImage(const std::filesystem::path& path,
                                                  std::int64_t mib, int fat_bits, int spc,
                                                  const std::string& label = "");
// mkntfs -F -Q -s 512 -c cluster_bytes; nothing when it fails.
std::optional<std::filesystem::path> MakeNtfsImage(const std::filesystem::path& path,
                                                   std::int64_t mib, int cluster_bytes = 4096,
                                                   const std::string& label = "");

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path, std::int64_t offset,
                                    std::size_t count);
void WriteBytes(const std::filesystem::path& path, std::int64_t offset,
                const std::vector<std::uint8_t>& bytes);

// The first number on the line that contains key (before or after it); -1 if none.
std::int64_t NumberOnLine(const std::string& text, const std::string& key);
// The first number after "key" in text (decimal, or hex with 0x); -1 if none.
std::int64_t NumberAfter(const std::string& text, const std::string& key);

}  // namespace tav::test
