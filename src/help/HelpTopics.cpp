#include "help/HelpTopics.h"

#include <array>

namespace HelpTopics {
namespace {
QString html(const char* file)
{
    return QStringLiteral("Help/HTML/") + QLatin1String(file);
}

// The program has no vendor web site: news, bug report and FAQ are pages shipped with it, still
// marked as the tree's web links.
const std::array<Node, 33> kNodes{{
    {"help", "Help", "", Chapter, html("Start.htm")},
    {"get_started", "Get Started", "help", Chapter, html("GetStarted.htm")},
    {"capturing", "Capturing", "help", Chapter, html("Capturing.htm")},
    {"image", "Image", "capturing", Page, html("CaptureImage.htm")},
    {"movie", "Movie", "capturing", Page, html("CaptureMovie.htm")},
    {"options", "Options", "help", Chapter, html("Options.htm")},
    {"motion_preview", "Motion Preview", "options", Page, html("MotionPreview.htm")},
    {"capture_audio_in_movie", "Capture Audio in Movie", "options", Page, html("CaptureAudioInMovie.htm")},
    {"show_ftp_log", "Show FTP Log", "options", Page, html("ShowFTPLog.htm")},
    {"configuration", "Configuration", "help", Chapter, html("Configuration.htm")},
    {"upload_settings", "Upload Settings", "configuration", Page, html("UploadSettings.htm")},
    {"webdav", "WebDAV", "configuration", Page, html("WebDAV.htm")},
    {"s3", "S3", "configuration", Page, html("S3.htm")},
    {"program_configuration", "Program Configuration", "configuration", Chapter,
     html("ProgramConfiguration.htm")},
    {"program_running", "Program Running", "program_configuration", Page, html("ProgramRunning.htm")},
    {"various_options", "Various Options", "program_configuration", Page, html("VariousOptions.htm")},
    {"program_interface", "Program Interface", "program_configuration", Page, html("ProgramInterface.htm")},
    {"premonition", "Premonition", "program_configuration", Page, html("Premonition.htm")},
    {"uploaded", "Uploaded", "program_configuration", Page, html("Uploaded.htm")},
    {"picture", "Picture", "configuration", Chapter, html("Picture.htm")},
    {"driver", "Driver", "picture", Page, html("Driver.htm")},
    {"format", "Format", "picture", Page, html("Format.htm")},
    {"display", "Display", "picture", Page, html("Display.htm")},
    {"source", "Source", "picture", Page, html("Source.htm")},
    {"movie_frame_rate", "Movie Frame Rate", "configuration", Page, html("MovieFrameRate.htm")},
    {"movie_compressor", "Movie Compressor", "configuration", Page, html("MovieCompressor.htm")},
    {"audio_format", "Audio Format", "configuration", Page, html("AudioFormat.htm")},
    {"camera", "Camera", "help", Chapter, html("Camera.htm")},
    {"misc.", "Misc.", "help", Chapter, html("Misc.htm")},
    {"what_is_news", "What is News", "misc.", Page, html("WhatIsNews.htm")},
    {"news", "News", "misc.", WebLink, html("News.htm")},
    {"bug_report", "Bug report", "misc.", WebLink, html("BugReport.htm")},
    {"faq", "FAQ", "misc.", WebLink, html("FAQ.htm")},
}};

const std::array<Topic, 5> kTopics{{
    {"configuration", html("ProgramConfiguration.htm"), {"configuration"}, "program_configuration"},
    {"ftp", html("UploadSettings.htm"), {"configuration"}, "upload_settings"},
    {"driver", html("Driver.htm"), {"configuration", "picture"}, "driver"},
    {"framerate", html("MovieFrameRate.htm"), {"configuration"}, "movie_frame_rate"},
    {"news", html("WhatIsNews.htm"), {"misc."}, "what_is_news"},
}};
} // namespace

std::span<const Node> nodes()
{
    return kNodes;
}

std::span<const Topic> topics()
{
    return kTopics;
}

const Node* findNode(const QString& key)
{
    for (const Node& node : kNodes) {
        if (node.key == key)
            return &node;
    }
    return nullptr;
}

const Topic* findTopic(const QString& topic)
{
    for (const Topic& entry : kTopics) {
        if (entry.topic == topic)
            return &entry;
    }
    return nullptr;
}

QString pagePath(const QString& programFolder, const QString& page)
{
    return programFolder + QLatin1Char('/') + page;
}

} // namespace HelpTopics
