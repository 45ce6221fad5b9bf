"""End-to-end cases under load: many downloads at once, and two programs after one port."""
