# Writes the sample script into a C++ source as one string constant.
file(READ ${IN} content)
file(WRITE ${OUT} "namespace tessel::engine {\nextern const char* const kSamplesSql;\nconst char* const kSamplesSql = R\"tessel_samples(${content})tessel_samples\";\n}  // namespace tessel::engine\n")
