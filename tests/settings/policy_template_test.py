#!/usr/bin/env python3
# The administrative template in docs/policy: the .admx and both .adml files are well-formed XML,
# every policy writes a value the programs read (the names in settings/settings_rules.cpp) below
# the family's policy key, every value the programs read has a policy, and every string and
# presentation the template names exists in each language.
import re
import sys
import xml.etree.ElementTree as ET

root = sys.argv[1] if len(sys.argv) > 1 else '.'
NS = '{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}'
failures = []

source = open(root + '/settings/settings_rules.cpp', encoding='utf-8').read()
read_names = set(re.findall(r'const char k\w+Policy\[\] = "(\w+)";', source))
if len(read_names) != 7:
    failures.append('the programs read %d policy values, expected 7: %s' % (len(read_names), sorted(read_names)))
policy_key = re.search(r'kPolicyKey\[\] = "([^"]+)"', open(root + '/settings/Policy.cpp', encoding='utf-8').read())
policy_key = policy_key.group(1).replace('\\\\', '\\')

admx = ET.parse(root + '/docs/policy/Trelk-Software.admx').getroot()
written = set()
strings_used, presentations_used = set(), set()
for policy in admx.iter(NS + 'policy'):
    name = policy.get('name')
    if policy.get('key') != policy_key:
        failures.append('%s writes below %s, not %s' % (name, policy.get('key'), policy_key))
    names = [policy.get('valueName')] if policy.get('valueName') else []
    names += [e.get('valueName') for e in policy.iter() if e.tag != NS + 'policy' and e.get('valueName')]
    if not names:
        failures.append('%s writes no value' % name)
    for value in names:
        if value not in read_names:
            failures.append('%s writes %s, which no program reads' % (name, value))
        written.add(value)
for element in admx.iter():
    for attribute in element.attrib.values():
        strings_used.update(re.findall(r'\$\(string\.(\w+)\)', attribute))
        presentations_used.update(re.findall(r'\$\(presentation\.(\w+)\)', attribute))
for value in sorted(read_names - written):
    failures.append('no policy writes %s' % value)

for language in ('de-DE', 'en-US'):
    adml = ET.parse(root + '/docs/policy/%s/Trelk-Software.adml' % language).getroot()
    strings = {s.get('id') for s in adml.iter(NS + 'string')}
    presentations = {p.get('id') for p in adml.iter(NS + 'presentation')}
    for s in sorted(strings_used - strings):
        failures.append('%s: no string %s' % (language, s))
    for p in sorted(presentations_used - presentations):
        failures.append('%s: no presentation %s' % (language, p))

for f in failures:
    print('FAIL:', f)
print('%d policies, %d values, %d failure(s)' % (len(list(admx.iter(NS + 'policy'))), len(written), len(failures)))
sys.exit(1 if failures else 0)
