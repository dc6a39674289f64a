#include "run/OutputClash.h"

#include "Brennock/MainProcessor.h"
#include "Brennock/RunLoop.h"
#include "codecs/OutputExtensions.h"

#include <sys/stat.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace Tellvar {
namespace detail {

namespace {

// What a path is as a file: its device and inode when it exists, else the
// path with its links and dots resolved as far as it exists.
struct FileIdentity {
    bool exists = false;
    std::pair<dev_t, ino_t> node{};
    std::string resolved;
};

// Identities of the paths of one run. A run's outputs share one folder, so
// the folder of a file that does not exist yet is resolved once, not once
// for every crop.
class Identities {
public:
    FileIdentity of(const std::string& path) {
        FileIdentity identity;
        struct stat status;
        if (::stat(path.c_str(), &status) == 0) {
            identity.exists = true;
            identity.node = {status.st_dev, status.st_ino};
            return identity;
        }
        const std::filesystem::path whole(path);
        const std::filesystem::path name = whole.filename();
        // A missing file resolves as its folder does, with its own name
        // after it; a name that is itself a step ("." or "..") does not.
        const bool plainName = !name.empty() && name != "." && name != "..";
        const std::string& folder =
            plainName ? resolvedFolder(whole.parent_path().string()) : std::string();
        identity.resolved =
            !folder.empty() ? (std::filesystem::path(folder) / name).string() : resolved(whole);
        return identity;
    }

private:
    static std::string resolved(const std::filesystem::path& path) {
        std::error_code failed;
        const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, failed);
        return failed ? path.lexically_normal().string() : canonical.string();
    }
    // Empty for the empty folder (a bare name), which resolves in full.
    const std::string& resolvedFolder(const std::string& folder) {
        const auto known = folders_.find(folder);
        if (known != folders_.end()) return known->second;
        return folders_.emplace(folder, folder.empty() ? std::string() : resolved(folder))
            .first->second;
    }

    std::map<std::string, std::string> folders_;
};

// The identities of paths, in their order, looked up on up to threads
// threads where there are enough of them: before the first frame a run
// does nothing else, and each lookup waits on the file system (a few
// microseconds on a local disk, far longer on a network share). A part no
// thread could be started for, or whose thread ran out of memory, is looked
// up by the calling thread, as every part was before.
std::vector<FileIdentity> identitiesOf(const std::vector<std::string>& paths, int threads) {
    // A part short enough to be worth less than starting its thread is not
    // split off.
    constexpr std::size_t kLeastPathsPerThread = 64;
    std::vector<FileIdentity> identities(paths.size());
    const auto lookUp = [&paths, &identities](std::size_t from, std::size_t to) {
        Identities resolver;
        for (std::size_t i = from; i < to; ++i) identities[i] = resolver.of(paths[i]);
    };
    const std::size_t parts = std::clamp<std::size_t>(
        paths.size() / kLeastPathsPerThread, 1, static_cast<std::size_t>(std::max(1, threads)));
    const std::size_t each = (paths.size() + parts - 1) / parts;

    // Part p covers paths p * each .. (p + 1) * each - 1; done[p] says its
    // thread finished it.
    std::unique_ptr<bool[]> done(new bool[parts]());
    std::vector<std::thread> helpers;
    helpers.reserve(parts);
    for (std::size_t part = 1; part < parts; ++part) {
        const std::size_t from = part * each, to = std::min(paths.size(), from + each);
        try {
            helpers.emplace_back([&lookUp, &done, part, from, to] {
                try {
                    lookUp(from, to);
                    done[part] = true;
                } catch (const std::exception&) {
                }
            });
        } catch (const std::exception&) {
            break;  // no more threads: the rest is done below
        }
    }
    // The first part meanwhile on this thread; nothing may leave before the
    // helpers are joined.
    try {
        lookUp(0, std::min(paths.size(), each));
        done[0] = true;
    } catch (const std::exception&) {
    }
    for (std::thread& helper : helpers) helper.join();
    for (std::size_t part = 0; part < parts; ++part)
        if (!done[part]) lookUp(part * each, std::min(paths.size(), (part + 1) * each));
    return identities;
}

// Files seen so far, each with the number the caller gave it.
class FileIndex {
public:
    // The number of the file already seen that is this one, or -1.
    int find(const FileIdentity& identity) const {
        if (identity.exists) {
            const auto found = nodes_.find(identity.node);
            return found == nodes_.end() ? -1 : found->second;
        }
        const auto found = missing_.find(identity.resolved);
        return found == missing_.end() ? -1 : found->second;
    }
    // Keeps the first number given to a file.
    void add(const FileIdentity& identity, int number) {
        if (identity.exists)
            nodes_.emplace(identity.node, number);
        else
            missing_.emplace(identity.resolved, number);
    }

private:
    std::map<std::pair<dev_t, ino_t>, int> nodes_;
    std::map<std::string, int> missing_;
};

std::string foldCase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

struct Output {
    std::string path;
    int image;  // the image it is the crop of; -1 for the stacked image
};

std::string whatIsSaved(const Output& output, const RunPlan& plan) {
    return (output.image < 0 ? std::string("The stacked image")
                             : "The crop of\n" + plan.filePaths[output.image]) +
           "\nwould be saved as\n" + output.path;
}

const char* const kNothingSaved = "\n\nNothing has been saved.";

std::string sameNameMessage(const Output& first, const Output& second, const RunPlan& plan) {
    return "Two files of this run would be saved under the same name, and one would replace the "
           "other.\n\n" +
           whatIsSaved(first, plan) + "\n\n" + whatIsSaved(second, plan) +
           (first.path != second.path
                ? "\n\nNames that differ only in upper and lower case are one file on many drives."
                : "") +
           "\n\nPlease rename one of the images or remove it from your active list, and submit "
           "your images again." +
           kNothingSaved;
}

std::string overwritesInputMessage(const Output& output, const std::string& input,
                                   const RunPlan& plan) {
    return "Saving this run would overwrite one of its own images.\n\n" +
           whatIsSaved(output, plan) + "\nwhich is the image\n" + input +
           "\n\nPlease choose another save folder in the options dialog, or rename the image, "
           "and submit your images again." +
           kNothingSaved;
}

}  // namespace

std::string outputClash(MainProcessor& processor, const RunPlan& plan) {
    // The processor saves through the BMP codec exactly when it cuts
    // bottom-up frames.
    const std::string extension = processor.bottomUp ? kBmpExtension : kTiffExtension;

    std::vector<Output> outputs;
    for (int image = 0; image < plan.imageCount; ++image)
        outputs.push_back({processor.getFileName(image) + extension, image});
    // Small-image runs keep no stack.
    if (processor.stackEnabled && !plan.smallImage)
        outputs.push_back({processor.getFileName(-1) + extension, -1});

    // Every input, then every output.
    std::vector<std::string> paths(plan.filePaths, plan.filePaths + plan.imageCount);
    for (const Output& output : outputs) paths.push_back(output.path);
    const std::vector<FileIdentity> identities = identitiesOf(paths, plan.threadCount);

    FileIndex inputs;
    for (int image = 0; image < plan.imageCount; ++image) inputs.add(identities[image], image);

    std::map<std::string, int> byName;
    FileIndex written;
    for (int number = 0; number < static_cast<int>(outputs.size()); ++number) {
        const Output& output = outputs[number];
        const auto named = byName.emplace(foldCase(output.path), number);
        if (!named.second) return sameNameMessage(outputs[named.first->second], output, plan);

        const FileIdentity& identity = identities[plan.imageCount + number];
        const int sameFile = written.find(identity);
        if (sameFile >= 0) return sameNameMessage(outputs[sameFile], output, plan);
        written.add(identity, number);

        const int input = inputs.find(identity);
        if (input >= 0) return overwritesInputMessage(output, plan.filePaths[input], plan);
    }
    return {};
}

}  // namespace detail
}  // namespace Tellvar
