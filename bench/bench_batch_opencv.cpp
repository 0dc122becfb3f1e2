// The peer of qynconvert's batch mode: an OpenCV loop over a folder of gray BMP files,
// each read, turned into colour through the program's yellow-to-blue table (B = level,
// G = R = 255 - level) and written as BMP, the files spread over OpenCV's threads.
// OpenCV's writes are not synced; qynconvert syncs every file it saves.
//
//   bench_batch_opencv IN_DIR OUT_DIR
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_batch_opencv IN_DIR OUT_DIR\n");
        return 2;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1]))
        if (entry.path().extension() == ".bmp")
            files.push_back(entry.path());
    const std::filesystem::path out = argv[2];
    cv::parallel_for_(cv::Range(0, static_cast<int>(files.size())), [&](const cv::Range& range) {
        for (int i = range.start; i < range.end; ++i) {
            const cv::Mat gray = cv::imread(files[static_cast<std::size_t>(i)].string(), cv::IMREAD_GRAYSCALE);
            cv::Mat inverse = 255 - gray;
            cv::Mat colour;
            cv::merge(std::vector<cv::Mat>{gray, inverse, inverse}, colour);
            cv::imwrite((out / files[static_cast<std::size_t>(i)].filename()).string(), colour);
        }
    });
    return 0;
}
