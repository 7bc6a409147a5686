#!/usr/bin/python3
"""Reads Prometheus' text format from a file (or standard input) with the
prometheus_client parser, and prints each sample on a line of its own as
name{label="value",...} value, labels sorted, the value as an integer when it
is one. Exits 1, saying why, when the text does not parse."""
import sys

from prometheus_client.parser import text_string_to_metric_families


def main():
    text = open(sys.argv[1], encoding="utf-8").read() if len(sys.argv) > 1 else sys.stdin.read()
    try:
        families = list(text_string_to_metric_families(text))
    except Exception as error:  # the parser raises ValueError and others
        print("does not parse: %s" % error, file=sys.stderr)
        return 1
    for family in families:
        for sample in family.samples:
            labels = ",".join('%s="%s"' % (key, sample.labels[key]) for key in sorted(sample.labels))
            value = int(sample.value) if sample.value == int(sample.value) else sample.value
            print("%s{%s} %s" % (sample.name, labels, value))
    return 0


if __name__ == "__main__":
    sys.exit(main())
