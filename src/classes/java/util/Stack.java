package java.util;

/** Last-in first-out stack on a Vector. */
public class Stack<E> extends Vector<E> {
    public Stack() {}

    public E push(E item) {
        addElement(item);
        return item;
    }

    public synchronized E pop() {
        int len = size();
        E obj = peek();
        removeElementAt(len - 1);
        return obj;
    }

    public synchronized E peek() {
        int len = size();
        if (len == 0) {
            throw new EmptyStackException();
        }
        return elementAt(len - 1);
    }

    public boolean empty() {
        return size() == 0;
    }

    /** 1-based distance of o from the top, or -1. */
    public synchronized int search(Object o) {
        int i = lastIndexOf(o);
        if (i >= 0) {
            return size() - i;
        }
        return -1;
    }
}
