// fringe-study-worker: one run of a study, started by the study in the run's
// own folder (see runs/study_workers.h).
#include "runs/study_workers.h"

int main(int argc, char** argv) { return study_worker_main(argc, argv); }
