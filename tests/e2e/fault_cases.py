"""End-to-end cases of a misbehaving device: floods, noise, late answers, resets and hang-ups."""
