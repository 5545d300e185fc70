#include "job/job_outcome.h"

#include "platform/log.h"

void logJobOutcome(uint64_t jobSerial, const JobOutcome& outcome) {
    const std::string job = "job " + std::to_string(jobSerial);
    switch (outcome.result) {
        case JobResult::Succeeded:
            logInfo(LogComponent::Job, job + " wrote " + outcome.moviePath);
            break;
        case JobResult::Stopped:
            logInfo(LogComponent::Job, job + " stopped");
            break;
        case JobResult::Failed:
            logError(
                LogComponent::Job,
                job + " failed: " + outcome.reason +
                    (outcome.moviePath.empty() ? std::string()
                                               : " (incomplete movie: " + outcome.moviePath + ")"));
            break;
    }
}
