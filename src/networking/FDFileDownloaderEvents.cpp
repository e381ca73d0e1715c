// FDFileDownloader: cancelling, and the events delivered on the main thread.
#include "networking/FDFileDownloader.h"
#include "networking/FDPartialFile.h"
#include "platform/dispatch/Dispatch.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLog.h"

// ------------------------------------------------------------------ cancel

void FDFileDownloader::cancelDownloadAndRemoveFile(bool removeFile) {
    std::shared_ptr<NSRunLoop> loop;
    bool endHere = false;
    bool removeNow = false;
    {
        std::lock_guard lock(mutex_);
        if (completionPosted_) {
            removeNow = removeFile && transferEnded_;
        } else if (cancelRequested_) {
            removeRequested_ = removeRequested_ || removeFile;
            return;
        } else {
            cancelRequested_ = true;
            removeRequested_ = removeFile;
            if (!started_) {
                // Never started (or waiting for its dependencies): it ends here.
                transferEnded_ = true;
                endHere = true;
            } else if (!transferEnded_) {
                loop = runLoop_;
            }
        }
    }
    if (removeNow) {
        auto manager = NSFileManager::defaultManager();
        std::string path = pathToFile();
        FDPartialFile::removeValidators(path);
        NSErrorPtr error;
        // The completion was reported already: nobody is left to hear of a failure but the log.
        if (manager->fileExistsAtPath(path) && !manager->removeItemAtPath(path, &error))
            NSLog("The downloaded file %@ could not be removed: %@", path,
                  error ? error->localizedDescription() : std::string("unknown"));
        return;
    }
    if (endHere) {
        notifyFromCompletionWithSuccess(false, removeFileIfAsked());
        return;
    }
    if (loop) {
        // The transfer's own thread stops the connection, writes what is
        // buffered and closes the file.
        auto me = this->self<FDFileDownloader>();
        loop->performBlock([me] { me->endTransfer(End::Cancelled, nullptr); });
    }
}

// ------------------------------------------------------------------ notifications

void FDFileDownloader::postToMain(std::function<void(const std::shared_ptr<FDFileDownloader>&)> event, bool final) {
    auto me = this->self<FDFileDownloader>();
    dispatch_async(dispatch_get_main_queue(), [me, event = std::move(event), final] {
        if (!final) {
            std::lock_guard lock(me->mutex_);
            if (me->cancelRequested_) return;
        }
        event(me);
    });
}

void FDFileDownloader::notifyFromError(const NSErrorPtr& error, bool evenAfterCancel) {
    {
        std::lock_guard lock(mutex_);
        error_ = error;
    }
    state_ = FDFileDownloaderStateFailed;
    postToMain(
        [error](const std::shared_ptr<FDFileDownloader>& self) {
            ErrorBlock block;
            {
                std::lock_guard lock(self->mutex_);
                block = self->errorBlock_;
            }
            if (block) block(error);
            if (auto delegate = self->delegate()) delegate->downloadDidStopWithError(self, error);
        },
        evenAfterCancel);
}

void FDFileDownloader::notifyFromCompletionWithSuccess(bool success, const std::optional<std::string>& path) {
    {
        std::lock_guard lock(mutex_);
        if (completionPosted_) return;
        completionPosted_ = true;
        if (success)
            state_ = FDFileDownloaderStateDone;
        else
            state_ = error_ ? FDFileDownloaderStateFailed : FDFileDownloaderStateCancelled;
    }
    postToMain(
        [success, path](const std::shared_ptr<FDFileDownloader>& self) {
            CompleteBlock block;
            {
                std::lock_guard lock(self->mutex_);
                block = self->completeBlock_;
            }
            if (block) block(success, path);
            if (auto delegate = self->delegate()) delegate->downloadDidFinishWithSuccess(self, success, path);
            self->finishOperation();
        },
        true);
}

void FDFileDownloader::finishOperation() {
    if (finished_) return;
    willChangeValueForKey("isExecuting");
    willChangeValueForKey("isFinished");
    executing_ = false;
    finished_ = true;
    didChangeValueForKey("isFinished");
    didChangeValueForKey("isExecuting");
}
