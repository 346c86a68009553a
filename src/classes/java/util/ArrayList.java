package java.util;

/**
 * Resizable array list.  Grows to n + n/2 (at least 10 on the first add to
 * a list made with the default constructor).  Index errors read
 * "Index i out of bounds for length n" (get, set, remove) and
 * "Index: i, Size: n" (add, addAll at an index).
 */
public class ArrayList<E> extends AbstractList<E> implements List<E>, RandomAccess, Cloneable, java.io.Serializable {
    private static final int DEFAULT_CAPACITY = 10;
    private static final Object[] EMPTY = {};
    private static final Object[] DEFAULT_EMPTY = {};

    transient Object[] elementData;
    private int size;

    public ArrayList(int initialCapacity) {
        if (initialCapacity > 0) {
            elementData = new Object[initialCapacity];
        } else if (initialCapacity == 0) {
            elementData = EMPTY;
        } else {
            throw new IllegalArgumentException("Illegal Capacity: " + initialCapacity);
        }
    }

    public ArrayList() {
        elementData = DEFAULT_EMPTY;
    }

    public ArrayList(Collection<? extends E> c) {
        Object[] a = c.toArray();
        size = a.length;
        if (size == 0) {
            elementData = EMPTY;
        } else if (a.getClass() == Object[].class) {
            elementData = a;
        } else {
            elementData = Arrays.copyOf(a, size, Object[].class);
        }
    }

    public void trimToSize() {
        modCount++;
        if (size < elementData.length) {
            elementData = (size == 0) ? EMPTY : Arrays.copyOf(elementData, size);
        }
    }

    public void ensureCapacity(int minCapacity) {
        if (minCapacity > elementData.length && !(elementData == DEFAULT_EMPTY && minCapacity <= DEFAULT_CAPACITY)) {
            modCount++;
            grow(minCapacity);
        }
    }

    private Object[] grow(int minCapacity) {
        int oldCapacity = elementData.length;
        if (oldCapacity > 0 || elementData != DEFAULT_EMPTY) {
            int newCapacity = oldCapacity + (oldCapacity >> 1);
            if (newCapacity - minCapacity < 0) {
                newCapacity = minCapacity;
            }
            if (newCapacity < 0) {
                if (minCapacity < 0) {
                    throw new OutOfMemoryError();
                }
                newCapacity = Integer.MAX_VALUE - 8;
            }
            return elementData = Arrays.copyOf(elementData, newCapacity);
        }
        return elementData = new Object[Math.max(DEFAULT_CAPACITY, minCapacity)];
    }

    public int size() {
        return size;
    }

    public boolean isEmpty() {
        return size == 0;
    }

    public boolean contains(Object o) {
        return indexOf(o) >= 0;
    }

    public int indexOf(Object o) {
        Object[] es = elementData;
        if (o == null) {
            for (int i = 0; i < size; i++) {
                if (es[i] == null) {
                    return i;
                }
            }
        } else {
            for (int i = 0; i < size; i++) {
                if (o.equals(es[i])) {
                    return i;
                }
            }
        }
        return -1;
    }

    public int lastIndexOf(Object o) {
        Object[] es = elementData;
        if (o == null) {
            for (int i = size - 1; i >= 0; i--) {
                if (es[i] == null) {
                    return i;
                }
            }
        } else {
            for (int i = size - 1; i >= 0; i--) {
                if (o.equals(es[i])) {
                    return i;
                }
            }
        }
        return -1;
    }

    public Object clone() {
        try {
            @SuppressWarnings("unchecked")
            ArrayList<E> v = (ArrayList<E>) super.clone();
            v.elementData = Arrays.copyOf(elementData, size);
            v.modCount = 0;
            return v;
        } catch (CloneNotSupportedException e) {
            throw new InternalError(e);
        }
    }

    public Object[] toArray() {
        return Arrays.copyOf(elementData, size);
    }

    @SuppressWarnings("unchecked")
    public <T> T[] toArray(T[] a) {
        if (a.length < size) {
            return (T[]) Arrays.copyOf(elementData, size, a.getClass());
        }
        System.arraycopy(elementData, 0, a, 0, size);
        if (a.length > size) {
            a[size] = null;
        }
        return a;
    }

    private void checkIndex(int index) {
        if (index < 0 || index >= size) {
            throw new IndexOutOfBoundsException("Index " + index + " out of bounds for length " + size);
        }
    }

    private void checkAddIndex(int index) {
        if (index > size || index < 0) {
            throw new IndexOutOfBoundsException("Index: " + index + ", Size: " + size);
        }
    }

    @SuppressWarnings("unchecked")
    public E get(int index) {
        checkIndex(index);
        return (E) elementData[index];
    }

    @SuppressWarnings("unchecked")
    public E set(int index, E element) {
        checkIndex(index);
        E oldValue = (E) elementData[index];
        elementData[index] = element;
        return oldValue;
    }

    public boolean add(E e) {
        modCount++;
        if (size == elementData.length) {
            grow(size + 1);
        }
        elementData[size++] = e;
        return true;
    }

    public void add(int index, E element) {
        checkAddIndex(index);
        modCount++;
        if (size == elementData.length) {
            grow(size + 1);
        }
        System.arraycopy(elementData, index, elementData, index + 1, size - index);
        elementData[index] = element;
        size++;
    }

    @SuppressWarnings("unchecked")
    public E remove(int index) {
        checkIndex(index);
        E oldValue = (E) elementData[index];
        fastRemove(index);
        return oldValue;
    }

    public boolean remove(Object o) {
        int i = indexOf(o);
        if (i < 0) {
            return false;
        }
        fastRemove(i);
        return true;
    }

    private void fastRemove(int i) {
        modCount++;
        int newSize = size - 1;
        if (newSize > i) {
            System.arraycopy(elementData, i + 1, elementData, i, newSize - i);
        }
        elementData[size = newSize] = null;
    }

    public void clear() {
        modCount++;
        for (int i = 0; i < size; i++) {
            elementData[i] = null;
        }
        size = 0;
    }

    public boolean addAll(Collection<? extends E> c) {
        Object[] a = c.toArray();
        modCount++;
        int n = a.length;
        if (n == 0) {
            return false;
        }
        if (n > elementData.length - size) {
            grow(size + n);
        }
        System.arraycopy(a, 0, elementData, size, n);
        size += n;
        return true;
    }

    public boolean addAll(int index, Collection<? extends E> c) {
        checkAddIndex(index);
        Object[] a = c.toArray();
        modCount++;
        int n = a.length;
        if (n == 0) {
            return false;
        }
        if (n > elementData.length - size) {
            grow(size + n);
        }
        int moved = size - index;
        if (moved > 0) {
            System.arraycopy(elementData, index, elementData, index + n, moved);
        }
        System.arraycopy(a, 0, elementData, index, n);
        size += n;
        return true;
    }

    protected void removeRange(int fromIndex, int toIndex) {
        if (fromIndex > toIndex) {
            throw new IndexOutOfBoundsException("From Index: " + fromIndex + " > To Index: " + toIndex);
        }
        modCount++;
        System.arraycopy(elementData, toIndex, elementData, fromIndex, size - toIndex);
        int newSize = size - (toIndex - fromIndex);
        for (int i = newSize; i < size; i++) {
            elementData[i] = null;
        }
        size = newSize;
    }

    public boolean removeAll(Collection<?> c) {
        return batchRemove(c, false);
    }

    public boolean retainAll(Collection<?> c) {
        return batchRemove(c, true);
    }

    private boolean batchRemove(Collection<?> c, boolean complement) {
        Objects.requireNonNull(c);
        Object[] es = elementData;
        int w = 0;
        for (int r = 0; r < size; r++) {
            if (c.contains(es[r]) == complement) {
                es[w++] = es[r];
            }
        }
        if (w == size) {
            return false;
        }
        modCount++;
        for (int i = w; i < size; i++) {
            es[i] = null;
        }
        size = w;
        return true;
    }

    /** Stable sort of the elements (natural order when c is null). */
    @SuppressWarnings("unchecked")
    public void sort(Comparator<? super E> c) {
        int expected = modCount;
        Arrays.sort((E[]) elementData, 0, size, c);
        if (modCount != expected) {
            throw new ConcurrentModificationException();
        }
        modCount++;
    }

    public Iterator<E> iterator() {
        return new Itr();
    }

    /** Fail-fast iterator over the backing array. */
    private class Itr implements Iterator<E> {
        int cursor;
        int lastRet = -1;
        int expectedModCount = modCount;

        public boolean hasNext() {
            return cursor != size;
        }

        @SuppressWarnings("unchecked")
        public E next() {
            if (modCount != expectedModCount) {
                throw new ConcurrentModificationException();
            }
            int i = cursor;
            if (i >= size) {
                throw new NoSuchElementException();
            }
            Object[] es = elementData;
            if (i >= es.length) {
                throw new ConcurrentModificationException();
            }
            cursor = i + 1;
            return (E) es[lastRet = i];
        }

        public void remove() {
            if (lastRet < 0) {
                throw new IllegalStateException();
            }
            if (modCount != expectedModCount) {
                throw new ConcurrentModificationException();
            }
            ArrayList.this.remove(lastRet);
            cursor = lastRet;
            lastRet = -1;
            expectedModCount = modCount;
        }
    }
}
