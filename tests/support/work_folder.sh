# A shell test's scratch folder, $work, removed when the script ends, and
# fail, which reports a failed check and ends the script. Sourced by the
# shell tests after their arguments are read.
work=$(mktemp -d "${TMPDIR:-/tmp}/kl-test-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
