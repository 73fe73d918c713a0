// The study over MPI in a build without MPI: mpirun started this fringe, but
// it cannot take part in the job.
#include "cli/study_mpi.h"

int run_study_over_mpi(const StudyOptions&, StudyObserver&, const StudyStop&, StudyEnd&, std::string& error) {
  error = "this fringe was built without MPI; install libopenmpi-dev and build again to run "
            "studies under mpirun";
  return 1;
}
