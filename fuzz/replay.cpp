/*
 * replay FILE|DIR...: runs the fuzz target once on each file given or in
 * each folder given, as libFuzzer replays a corpus, without libFuzzer. The
 * target aborts on the first input it gets wrong.
 */
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size);

static void replay(const std::filesystem::path &path)
{
	std::ifstream in(path, std::ios::binary);
	std::string bytes((std::istreambuf_iterator<char>(in)),
			  std::istreambuf_iterator<char>());
	if (!in.good() && !in.eof()) {
		fprintf(stderr, "replay: cannot read %s\n", path.c_str());
		exit(2);
	}
	LLVMFuzzerTestOneInput((const unsigned char *)bytes.data(), bytes.size());
}

int main(int argc, char **argv)
{
	size_t count = 0;
	for (int i = 1; i < argc; i++) {
		std::vector<std::filesystem::path> files;
		if (std::filesystem::is_directory(argv[i]))
			for (const auto &entry :
			     std::filesystem::directory_iterator(argv[i]))
				files.push_back(entry.path());
		else
			files.push_back(argv[i]);
		for (const auto &file : files) {
			replay(file);
			count++;
		}
	}
	printf("replay: %zu inputs, every answer as the reference gives it\n",
	       count);
	return count ? 0 : 2;
}
