// A stand-in for fringe-study-worker whose runs only write their settings
// files: the study benchmark starts it to measure what a worker's start costs.
#include "runs/study_workers.h"
#include "settings_only.h"

int main(int argc, char** argv) { return study_worker_main(argc, argv, write_settings_only); }
