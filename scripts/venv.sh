# Sourced by the scripts: the project's virtual environment at the repository
# root, and its interpreter. Every build, test and demo step runs in it.
VENV="$PWD/.venv"
VENV_PYTHON="$VENV/bin/python"
