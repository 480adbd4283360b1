# The time limit of the test scripts' steps, sourced by them: a step that hangs (a catch-up
# that never returns, a dialog nobody closes) fails within minutes and says which it was,
# instead of holding the run until CI's own limit without a word.
#   within SECONDS NAME COMMAND [ARGUMENTS...]
# runs the command under the limit. At the limit its process group gets TERM, and KILL 30 s
# later if anything of it is still there; the line "step NAME did not finish within SECONDS
# s" names it, and the status is 124. Otherwise the status is the command's own.
within() {
  within_limit=$1 within_name=$2
  shift 2
  within_status=0
  timeout -k 30 "$within_limit" "$@" || within_status=$?
  # 137: the command outlived TERM and was killed.
  if [ "$within_status" -eq 124 ] || [ "$within_status" -eq 137 ]; then
    echo "step $within_name did not finish within $within_limit s"
    return 124
  fi
  return "$within_status"
}
