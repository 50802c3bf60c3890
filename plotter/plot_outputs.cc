// velplot's files, made and removed with interrupts held, so that the interrupt handler
// finds every name whole: each picture a beside_file, the script a file of mkstemp's.
#include "plot_outputs.h"

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "plot_interrupt.h"
#include "show_err.h"

enum {
  SCRIPT_NAME_SIZE = NAME_SIZE + 32,        // the output's folder and a generated name
  PART_NAME_SIZE = NAME_SIZE + 16,          // an output's name and the number of a grid file
  OUTPUT_MESSAGE_SIZE = MESSAGE_SIZE + 32,  // a message naming a grid file
};

static beside_file pictures[MAX_OUTPUT_FILES];
static int pictureCount;  // pictures[0] to pictures[pictureCount - 1] have temporary files
static int pictureFiles;  // as open_outputs was asked: 0 for one picture on standard output
static FILE *pictureFp;   // the one picture's temporary file, for gnuplot's standard output
static const char *outputName;
static char scriptName[SCRIPT_NAME_SIZE];  // empty while there is no script file

void output_name(char *buf, int size, const char *fname, int k, int files) {
  if (files <= 1) {
    snprintf(buf, size, "%s", fname);
    return;
  }
  int stem = (int)strlen(fname) - 4;  // the extension, .svg or .png, keeps its case
  snprintf(buf, size, "%.*s-%d%s", stem, fname, k, fname + stem);
}

// What the interrupt handler calls: only unlink, of names made whole beforehand.
static void unlink_temp_files(void) {
  for (int k = 0; k < pictureCount; k++) {
    if (pictures[k].temp[0] != '\0') unlink(pictures[k].temp);
  }
  if (scriptName[0] != '\0') unlink(scriptName);
}

void discard_outputs(void) {
  if (pictureFp != NULL) fclose(pictureFp);
  pictureFp = NULL;
  for (int k = 0; k < pictureCount; k++) discard_beside(&pictures[k]);
  pictureCount = 0;
  if (scriptName[0] != '\0') unlink(scriptName);
  scriptName[0] = '\0';
}

// Fails the run after removing the temporary files. Returns 0, for the caller to pass on.
static int outputs_failed(const char *message) {
  discard_outputs();
  show_err(ERR_FATAL, "draw_plot", message);
  return 0;
}

// Opens the temporary file of picture k (from 0). A grid's is closed at once: gnuplot
// opens it by its name. Returns 1, or 0 after a framed report.
static int open_picture(int k) {
  char name[PART_NAME_SIZE], msg[OUTPUT_MESSAGE_SIZE];
  output_name(name, sizeof name, outputName, k + 1, pictureFiles);
  FILE *fp = open_beside(&pictures[k], name);
  if (fp == NULL) {
    // A folder in the way is found here, before gnuplot draws, with the message of a
    // picture that cannot take its name.
    struct stat st;
    if (stat(name, &st) == 0 && !S_ISREG(st.st_mode)) {
      snprintf(msg, sizeof msg, "Unable to write output file %s\n", name);
    } else {
      snprintf(msg, sizeof msg, "Unable to open output file %s\n", outputName);
    }
    return outputs_failed(msg);
  }
  pictureCount = k + 1;
  if (pictureFiles == 0) {
    pictureFp = fp;
    return 1;
  }
  if (close_checked(fp)) return 1;
  snprintf(msg, sizeof msg, "Unable to write a temporary file beside %s\n", outputName);
  return outputs_failed(msg);
}

// Opens the script's file in the output's folder, led by "./" for a relative folder.
static FILE *open_script(void) {
  const char *slash = strrchr(outputName, '/');
  int dirLen = slash != NULL ? (int)(slash - outputName) + 1 : 0;
  snprintf(scriptName, sizeof scriptName, "%s%.*s.velplot-gp-XXXXXX",
           outputName[0] == '/' ? "" : "./", dirLen, outputName);
  int fd = mkstemp(scriptName);
  if (fd < 0) scriptName[0] = '\0';  // nothing to remove
  FILE *fp = fd >= 0 ? fdopen(fd, "w") : NULL;
  if (fp == NULL && fd >= 0) close(fd);
  return fp;
}

FILE *open_outputs(const char *fname, int files) {
  outputName = fname;
  pictureFiles = files;
  watch_interrupts(unlink_temp_files);
  hold_interrupts();
  int opened = 1;
  for (int k = 0; k < (files > 0 ? files : 1) && opened; k++) opened = open_picture(k);
  FILE *fp = opened ? open_script() : NULL;
  release_interrupts();
  if (opened && fp == NULL) {
    char msg[OUTPUT_MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "Unable to write a temporary file beside %s\n", fname);
    outputs_failed(msg);
  }
  return fp;
}

const beside_file *output_parts(void) { return pictures; }

int picture_fd(void) { return pictureFp != NULL ? fileno(pictureFp) : -1; }

const char *script_path(void) { return scriptName; }

int close_script(FILE *fp) {
  if (close_checked(fp)) return 1;
  char msg[OUTPUT_MESSAGE_SIZE];
  snprintf(msg, sizeof msg, "Unable to write a temporary file beside %s\n", outputName);
  return outputs_failed(msg);
}

// Whether gnuplot drew every picture: each temporary file has bytes, and the one
// picture's stream closes.
static int pictures_drawn(void) {
  int drawn = 1;
  if (pictureFp != NULL && !close_checked(pictureFp)) drawn = 0;
  pictureFp = NULL;
  for (int k = 0; k < pictureCount; k++) {
    struct stat st;
    if (stat(pictures[k].temp, &st) != 0 || st.st_size == 0) drawn = 0;
  }
  return drawn;
}

// Renames each picture onto its name. A folder in the way of one is found before any is
// renamed, so that a failure leaves every earlier file as it was. Returns 1, or 0 with the
// message in msg.
static int rename_pictures(char *msg, int size) {
  char name[PART_NAME_SIZE];
  for (int pass = 0; pass < 2; pass++) {
    for (int k = 0; k < pictureCount; k++) {
      struct stat st;
      int blocked = pass == 0 && stat(pictures[k].target, &st) == 0 && S_ISDIR(st.st_mode);
      if (blocked || (pass == 1 && !commit_beside(&pictures[k]))) {
        output_name(name, sizeof name, outputName, k + 1, pictureFiles);
        snprintf(msg, size, "Unable to write output file %s\n", name);
        return 0;
      }
    }
  }
  pictureCount = 0;
  return 1;
}

int commit_outputs(void) {
  char msg[OUTPUT_MESSAGE_SIZE];
  if (!pictures_drawn()) {
    snprintf(msg, sizeof msg, "gnuplot wrote no picture; %s is not written\n", outputName);
    return outputs_failed(msg);
  }
  unlink(scriptName);
  scriptName[0] = '\0';
  hold_interrupts();
  int renamed = rename_pictures(msg, sizeof msg);
  release_interrupts();
  return renamed ? 1 : outputs_failed(msg);
}
